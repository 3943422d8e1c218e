#pragma once

// OPC wildcard patterns for area, source and browse filters:
//   ?        any one character
//   *        any run of characters, also none
//   #        any one digit 0-9
//   [list]   any one character of the list; "a-z" in a list is a range
//   [!list]  any one character not in the list
// Everything else matches itself, case-sensitively. "[[]", "[*]", "[?]" and "[#]" match
// the special character itself; a "-" first or last in a list is a plain "-". A pattern
// with an unclosed "[" matches nothing.

#include <QString>
#include <QStringView>
#include <vector>

namespace zelk::aesim {

class TSimWildcard {
public:
    explicit TSimWildcard(QStringView pattern);

    const QString& Pattern() const noexcept { return FPattern; }
    bool Matches(QStringView text) const;

private:
    struct TToken {
        enum class TKind { Literal, AnyChar, Digit, Set, Star } Kind;
        QChar Char;                               // Literal
        std::vector<std::pair<QChar, QChar>> Set; // Set: inclusive ranges
        bool Negated = false;                     // Set
        bool MatchesOne(QChar c) const;
    };

    QString FPattern;
    std::vector<TToken> FTokens;
    bool FValid = true;
};

// One-off match of `text` against `pattern`.
bool SimMatchPattern(QStringView text, QStringView pattern);

} // namespace zelk::aesim
