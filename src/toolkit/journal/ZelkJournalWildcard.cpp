// OPC wildcard patterns turned into what each database matches natively, so a wildcard
// search runs inside the query (and pages like any other):
//   ?  any one character     *  any run, also none     #  one digit 0-9
//   [list]  one character of the list ("a-z" a range)   [!list]  one not in it
// Everything else matches itself; "[*]", "[?]", "[#]" and "[[]" match the character.

#include "ZelkJournalQuery.h"

#include <vector>

namespace zelk::journal {

namespace {

struct TToken {
    enum class TKind { Literal, Any, Star, Digit, Set } Kind = TKind::Literal;
    QChar Char;
    std::vector<std::pair<QChar, QChar>> Ranges;
    bool Negated = false;
};

std::optional<std::vector<TToken>> Tokenize(const QString& pattern) {
    std::vector<TToken> tokens;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        TToken token;
        if (c == QLatin1Char('*')) {
            token.Kind = TToken::TKind::Star;
        } else if (c == QLatin1Char('?')) {
            token.Kind = TToken::TKind::Any;
        } else if (c == QLatin1Char('#')) {
            token.Kind = TToken::TKind::Digit;
        } else if (c == QLatin1Char('[')) {
            token.Kind = TToken::TKind::Set;
            qsizetype j = i + 1;
            if (j < pattern.size() && pattern[j] == QLatin1Char('!')) {
                token.Negated = true;
                ++j;
            }
            const qsizetype first = j;
            // A "]" right after the opening bracket is a member, not the end.
            while (j < pattern.size() && (pattern[j] != QLatin1Char(']') || j == first)) {
                const QChar low = pattern[j];
                if (j + 2 < pattern.size() && pattern[j + 1] == QLatin1Char('-') &&
                    pattern[j + 2] != QLatin1Char(']')) {
                    token.Ranges.emplace_back(low, pattern[j + 2]);
                    j += 3;
                } else {
                    token.Ranges.emplace_back(low, low);
                    ++j;
                }
            }
            if (j >= pattern.size())
                return std::nullopt;
            i = j;
        } else {
            token.Char = c;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool IsSingle(const TToken& token, QChar c) {
    return std::any_of(token.Ranges.begin(), token.Ranges.end(),
                       [c](const auto& range) { return range.first == c && range.second == c; });
}

// The members of a set in an order both GLOB and POSIX brackets read literally: "]"
// first, "^" never first, "-" last. Backslashes are doubled for a regular expression.
QString SetMembers(const TToken& token, bool regex) {
    QString head;
    QString body;
    if (IsSingle(token, QLatin1Char(']')))
        head += QLatin1Char(']');
    for (const auto& [low, high] : token.Ranges) {
        if (low == high &&
            (low == QLatin1Char(']') || low == QLatin1Char('-') || low == QLatin1Char('^')))
            continue;
        const auto put = [&](QChar c) {
            if (regex && c == QLatin1Char('\\'))
                body += QLatin1Char('\\');
            body += c;
        };
        put(low);
        if (high != low) {
            body += QLatin1Char('-');
            put(high);
        }
    }
    QString members = head + body;
    if (IsSingle(token, QLatin1Char('^')))
        members += QLatin1Char('^');
    if (IsSingle(token, QLatin1Char('-')))
        members += QLatin1Char('-');
    if (members.startsWith(QLatin1Char('^')) && members.size() > 1)
        members = members.mid(1) + QLatin1Char('^');
    return members;
}

} // namespace

std::optional<QString> WildcardToGlob(const QString& Pattern) {
    const auto tokens = Tokenize(Pattern);
    if (!tokens)
        return std::nullopt;
    QString glob;
    for (const TToken& token : *tokens) {
        switch (token.Kind) {
        case TToken::TKind::Star:
            glob += QLatin1Char('*');
            break;
        case TToken::TKind::Any:
            glob += QLatin1Char('?');
            break;
        case TToken::TKind::Digit:
            glob += QLatin1String("[0-9]");
            break;
        case TToken::TKind::Set: {
            const QString members = SetMembers(token, false);
            if (members == QLatin1String("^") && !token.Negated)
                glob += members;
            else
                glob += QLatin1Char('[') +
                        QString(token.Negated ? QStringLiteral("^") : QString()) + members +
                        QLatin1Char(']');
            break;
        }
        case TToken::TKind::Literal:
            if (token.Char == QLatin1Char('*') || token.Char == QLatin1Char('?') ||
                token.Char == QLatin1Char('['))
                glob += QLatin1Char('[') + token.Char + QLatin1Char(']');
            else
                glob += token.Char;
            break;
        }
    }
    return glob;
}

std::optional<QString> WildcardToRegex(const QString& Pattern) {
    const auto tokens = Tokenize(Pattern);
    if (!tokens)
        return std::nullopt;
    static const QString special = QStringLiteral("\\.^$|?*+()[]{}");
    QString regex = QStringLiteral("^");
    for (const TToken& token : *tokens) {
        switch (token.Kind) {
        case TToken::TKind::Star:
            regex += QLatin1String(".*");
            break;
        case TToken::TKind::Any:
            regex += QLatin1Char('.');
            break;
        case TToken::TKind::Digit:
            regex += QLatin1String("[0-9]");
            break;
        case TToken::TKind::Set: {
            const QString members = SetMembers(token, true);
            if (members == QLatin1String("^") && !token.Negated)
                regex += QLatin1String("\\^");
            else
                regex += QLatin1Char('[') +
                         QString(token.Negated ? QStringLiteral("^") : QString()) + members +
                         QLatin1Char(']');
            break;
        }
        case TToken::TKind::Literal:
            if (special.contains(token.Char))
                regex += QLatin1Char('\\');
            regex += token.Char;
            break;
        }
    }
    return regex + QLatin1Char('$');
}

} // namespace zelk::journal
