#include "SimWildcard.h"

namespace zelk::aesim {

TSimWildcard::TSimWildcard(QStringView pattern) : FPattern(pattern.toString()) {
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        TToken token{TToken::TKind::Literal, c, {}, false};
        if (c == u'?') {
            token.Kind = TToken::TKind::AnyChar;
        } else if (c == u'#') {
            token.Kind = TToken::TKind::Digit;
        } else if (c == u'*') {
            // A run of stars means the same as one.
            if (!FTokens.empty() && FTokens.back().Kind == TToken::TKind::Star)
                continue;
            token.Kind = TToken::TKind::Star;
        } else if (c == u'[') {
            const qsizetype close = pattern.indexOf(u']', i + 1);
            if (close < 0) {
                FValid = false;
                FTokens.clear();
                return;
            }
            QStringView list = pattern.sliced(i + 1, close - i - 1);
            token.Kind = TToken::TKind::Set;
            if (list.startsWith(u'!')) {
                token.Negated = true;
                list = list.sliced(1);
            }
            for (qsizetype k = 0; k < list.size(); ++k) {
                // "a-z" is a range unless the "-" is the last character of the list.
                if (k + 2 < list.size() && list[k + 1] == u'-') {
                    token.Set.emplace_back(list[k], list[k + 2]);
                    k += 2;
                } else {
                    token.Set.emplace_back(list[k], list[k]);
                }
            }
            i = close;
        }
        FTokens.push_back(std::move(token));
    }
}

bool TSimWildcard::TToken::MatchesOne(QChar c) const {
    switch (Kind) {
    case TKind::Literal:
        return c == Char;
    case TKind::AnyChar:
        return true;
    case TKind::Digit:
        return c >= u'0' && c <= u'9';
    case TKind::Set: {
        bool inSet = false;
        for (const auto& [low, high] : Set)
            inSet = inSet || (c >= low && c <= high);
        return inSet != Negated;
    }
    case TKind::Star:
        break;
    }
    return false;
}

bool TSimWildcard::Matches(QStringView text) const {
    if (!FValid)
        return false;
    // Every token but the star takes exactly one character, so remembering the last star
    // and letting it take one more character on a mismatch finds every match.
    std::size_t t = 0;
    qsizetype s = 0;
    std::size_t starToken = FTokens.size();
    qsizetype starText = 0;
    while (s < text.size()) {
        if (t < FTokens.size() && FTokens[t].Kind == TToken::TKind::Star) {
            starToken = t++;
            starText = s;
        } else if (t < FTokens.size() && FTokens[t].MatchesOne(text[s])) {
            ++t;
            ++s;
        } else if (starToken < FTokens.size()) {
            t = starToken + 1;
            s = ++starText;
        } else {
            return false;
        }
    }
    while (t < FTokens.size() && FTokens[t].Kind == TToken::TKind::Star)
        ++t;
    return t == FTokens.size();
}

bool SimMatchPattern(QStringView text, QStringView pattern) {
    return TSimWildcard(pattern).Matches(text);
}

} // namespace zelk::aesim
