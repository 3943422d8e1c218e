#include "TextFormParser.h"

#include "Exceptions.h"
#include "TextForm.h"

#include <QStringDecoder>
#include <cstring>

namespace zelk::rtl {

QString LineMessage(int Line, const QString& Message) {
    return QStringLiteral("Line %1: %2").arg(Line).arg(Message);
}

void ThrowReadError(int Line, const QString& Message) {
    throw EReadError(LineMessage(Line, Message));
}

QString KindName(TTextValue::TKind Kind) {
    switch (Kind) {
    case TTextValue::vkString:
        return QStringLiteral("string");
    case TTextValue::vkInteger:
        return QStringLiteral("integer");
    case TTextValue::vkFloat:
        return QStringLiteral("floating-point number");
    case TTextValue::vkIdent:
        return QStringLiteral("identifier");
    case TTextValue::vkSet:
        return QStringLiteral("set");
    case TTextValue::vkList:
        return QStringLiteral("list");
    case TTextValue::vkCollection:
        return QStringLiteral("collection");
    }
    return QString();
}

namespace {

enum class TTokenKind { Eof, Ident, String, Integer, Float, Symbol };

struct TToken {
    TTokenKind Kind = TTokenKind::Eof;
    int Line = 1;
    QString Text;
    char Symbol = 0;
};

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

QString DescribeByte(unsigned char c) {
    if (c > 0x20 && c < 0x7F)
        return QStringLiteral("'%1'").arg(QChar(c));
    return QStringLiteral("#%1").arg(c);
}

// Splits the text into tokens. A string token is one run of quoted parts and #n codes
// without blanks between them; `+` joins such runs in the parser.
class TLexer {
public:
    explicit TLexer(const QByteArray& text) : FText(text) {
        if (FText.startsWith("\xEF\xBB\xBF"))
            FPos = 3;
    }

    TToken Next() {
        SkipBlanks();
        TToken token;
        token.Line = FLine;
        if (FPos >= FText.size())
            return token;
        const char c = FText.at(FPos);
        if (IsLetter(c)) {
            const qsizetype start = FPos;
            while (FPos < FText.size() && (IsLetter(FText.at(FPos)) || IsDigit(FText.at(FPos))))
                ++FPos;
            token.Kind = TTokenKind::Ident;
            token.Text = QString::fromLatin1(FText.mid(start, FPos - start));
        } else if (c == '\'' || c == '#') {
            token.Kind = TTokenKind::String;
            token.Text = ReadString();
        } else if (IsDigit(c) || ((c == '-' || c == '+') && FPos + 1 < FText.size() &&
                                  IsDigit(FText.at(FPos + 1)))) {
            ReadNumber(token);
        } else if (c != '\0' && std::strchr("=:.,[]()<>+", c)) {
            token.Kind = TTokenKind::Symbol;
            token.Symbol = c;
            ++FPos;
        } else {
            ThrowReadError(FLine, QStringLiteral("Invalid character %1")
                                      .arg(DescribeByte(static_cast<unsigned char>(c))));
        }
        return token;
    }

private:
    void SkipBlanks() {
        while (FPos < FText.size()) {
            const char c = FText.at(FPos);
            if (c == '\n')
                ++FLine;
            else if (c != ' ' && c != '\t' && c != '\r')
                return;
            ++FPos;
        }
    }

    QString ReadString() {
        QString result;
        while (FPos < FText.size()) {
            const char c = FText.at(FPos);
            if (c == '\'')
                result += ReadQuoted();
            else if (c == '#')
                result += ReadCharCode();
            else
                break;
        }
        return result;
    }

    QString ReadQuoted() {
        ++FPos; // opening quote
        QByteArray bytes;
        for (;;) {
            if (FPos >= FText.size())
                ThrowReadError(FLine, QStringLiteral("Unterminated string"));
            const char c = FText.at(FPos);
            if (c == '\'') {
                if (FPos + 1 < FText.size() && FText.at(FPos + 1) == '\'') {
                    bytes += '\'';
                    FPos += 2;
                    continue;
                }
                ++FPos;
                break;
            }
            if (c == '\n' || c == '\r')
                ThrowReadError(FLine, QStringLiteral("Unterminated string"));
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                ThrowReadError(FLine, QStringLiteral("Invalid character %1 in string")
                                          .arg(DescribeByte(static_cast<unsigned char>(c))));
            bytes += c;
            ++FPos;
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            ThrowReadError(FLine, QStringLiteral("Invalid UTF-8 in string"));
        return text;
    }

    QString ReadCharCode() {
        ++FPos; // '#'
        const bool hex = FPos < FText.size() && FText.at(FPos) == '$';
        if (hex)
            ++FPos;
        const qsizetype start = FPos;
        while (FPos < FText.size() && (hex ? IsHexDigit(FText.at(FPos)) : IsDigit(FText.at(FPos))))
            ++FPos;
        const QByteArray digits = FText.mid(start, FPos - start);
        bool ok = false;
        const uint code = digits.size() <= 8 ? digits.toUInt(&ok, hex ? 16 : 10) : 0;
        if (digits.isEmpty())
            ThrowReadError(FLine, QStringLiteral("Character code expected after #"));
        if (!ok || code > 0xFFFF)
            ThrowReadError(
                FLine,
                QStringLiteral("Character code #%1 out of range").arg(QString::fromLatin1(digits)));
        return QString(QChar(static_cast<char16_t>(code)));
    }

    void ReadNumber(TToken& token) {
        const qsizetype start = FPos;
        if (FText.at(FPos) == '-' || FText.at(FPos) == '+')
            ++FPos;
        auto digits = [this] {
            const qsizetype from = FPos;
            while (FPos < FText.size() && IsDigit(FText.at(FPos)))
                ++FPos;
            return FPos > from;
        };
        digits();
        token.Kind = TTokenKind::Integer;
        if (FPos < FText.size() && FText.at(FPos) == '.') {
            ++FPos;
            if (!digits())
                ThrowReadError(FLine, QStringLiteral("Invalid number"));
            token.Kind = TTokenKind::Float;
        }
        if (FPos < FText.size() && (FText.at(FPos) == 'e' || FText.at(FPos) == 'E')) {
            ++FPos;
            if (FPos < FText.size() && (FText.at(FPos) == '-' || FText.at(FPos) == '+'))
                ++FPos;
            if (!digits())
                ThrowReadError(FLine, QStringLiteral("Invalid number"));
            token.Kind = TTokenKind::Float;
        }
        if (FPos < FText.size() && (IsLetter(FText.at(FPos)) || IsDigit(FText.at(FPos))))
            ThrowReadError(FLine, QStringLiteral("Invalid number"));
        token.Text = QString::fromLatin1(FText.mid(start, FPos - start));
    }

    const QByteArray& FText;
    qsizetype FPos = 0;
    int FLine = 1;
};

bool IsKeyword(const TToken& token, QLatin1StringView keyword) {
    return token.Kind == TTokenKind::Ident && token.Text.compare(keyword, Qt::CaseInsensitive) == 0;
}

class TParser {
public:
    explicit TParser(const QByteArray& text) : FLexer(text) { Advance(); }

    TTextObject ParseObject() {
        if (!IsKeyword(FToken, QLatin1StringView("object")))
            Fail(QStringLiteral("'object' expected"));
        TTextObject object;
        object.Line = FToken.Line;
        Advance();
        object.ClassName = ExpectIdent();
        if (IsSymbol(':')) {
            Advance();
            object.Name = object.ClassName;
            object.ClassName = ExpectIdent();
        }
        object.Properties = ParseProperties(1);
        ExpectEnd();
        return object;
    }

    TTextValue ParseValue(int depth) {
        if (depth > MaxTextFormDepth)
            Fail(QStringLiteral("Nesting too deep"));
        TTextValue value;
        value.Line = FToken.Line;
        switch (FToken.Kind) {
        case TTokenKind::String:
            value.Kind = TTextValue::vkString;
            value.Text = FToken.Text;
            Advance();
            while (IsSymbol('+')) {
                Advance();
                if (FToken.Kind != TTokenKind::String)
                    Fail(QStringLiteral("String expected after +"));
                value.Text += FToken.Text;
                Advance();
            }
            return value;
        case TTokenKind::Integer:
        case TTokenKind::Float:
            value.Kind =
                FToken.Kind == TTokenKind::Integer ? TTextValue::vkInteger : TTextValue::vkFloat;
            value.Text = FToken.Text;
            Advance();
            return value;
        case TTokenKind::Ident:
            value.Kind = TTextValue::vkIdent;
            value.Text = FToken.Text;
            Advance();
            return value;
        case TTokenKind::Symbol:
            if (FToken.Symbol == '[')
                return ParseSet(value);
            if (FToken.Symbol == '(')
                return ParseList(value, depth);
            if (FToken.Symbol == '<')
                return ParseCollection(value, depth);
            break;
        case TTokenKind::Eof:
            break;
        }
        Fail(QStringLiteral("Value expected"));
    }

    void ExpectEof() {
        if (FToken.Kind != TTokenKind::Eof)
            Fail(QStringLiteral("Unexpected text after the end"));
    }

private:
    [[noreturn]] void Fail(const QString& message) {
        if (FToken.Kind == TTokenKind::Eof)
            ThrowReadError(FToken.Line, QStringLiteral("Unexpected end of text: %1").arg(message));
        ThrowReadError(FToken.Line, message);
    }

    void Advance() { FToken = FLexer.Next(); }
    bool IsSymbol(char symbol) const {
        return FToken.Kind == TTokenKind::Symbol && FToken.Symbol == symbol;
    }

    void ExpectSymbol(char symbol) {
        if (!IsSymbol(symbol))
            Fail(QStringLiteral("'%1' expected").arg(QLatin1Char(symbol)));
        Advance();
    }

    QString ExpectIdent() {
        if (FToken.Kind != TTokenKind::Ident)
            Fail(QStringLiteral("Identifier expected"));
        QString text = FToken.Text;
        Advance();
        return text;
    }

    void ExpectEnd() {
        if (!IsKeyword(FToken, QLatin1StringView("end")))
            Fail(QStringLiteral("'end' expected"));
        Advance();
    }

    // Properties up to (not including) the closing `end`.
    std::vector<TTextProperty> ParseProperties(int depth) {
        std::vector<TTextProperty> properties;
        while (!IsKeyword(FToken, QLatin1StringView("end"))) {
            if (IsKeyword(FToken, QLatin1StringView("object")) ||
                IsKeyword(FToken, QLatin1StringView("inherited")) ||
                IsKeyword(FToken, QLatin1StringView("inline")))
                Fail(QStringLiteral("Nested components are not supported"));
            if (FToken.Kind != TTokenKind::Ident)
                Fail(QStringLiteral("Property name or 'end' expected"));
            TTextProperty property;
            property.Line = FToken.Line;
            property.Name = ExpectIdent();
            while (IsSymbol('.')) {
                Advance();
                property.Name += QLatin1Char('.') + ExpectIdent();
            }
            ExpectSymbol('=');
            property.Value = ParseValue(depth + 1);
            properties.push_back(std::move(property));
        }
        return properties;
    }

    TTextValue& ParseSet(TTextValue& value) {
        value.Kind = TTextValue::vkSet;
        Advance();
        if (!IsSymbol(']')) {
            value.Members.append(ExpectIdent());
            while (IsSymbol(',')) {
                Advance();
                value.Members.append(ExpectIdent());
            }
        }
        ExpectSymbol(']');
        return value;
    }

    TTextValue& ParseList(TTextValue& value, int depth) {
        value.Kind = TTextValue::vkList;
        Advance();
        while (!IsSymbol(')'))
            value.Elements.push_back(ParseValue(depth + 1));
        Advance();
        return value;
    }

    TTextValue& ParseCollection(TTextValue& value, int depth) {
        value.Kind = TTextValue::vkCollection;
        Advance();
        while (!IsSymbol('>')) {
            if (!IsKeyword(FToken, QLatin1StringView("item")))
                Fail(QStringLiteral("'item' or '>' expected"));
            if (depth + 1 > MaxTextFormDepth)
                Fail(QStringLiteral("Nesting too deep"));
            TTextItem item;
            item.Line = FToken.Line;
            Advance();
            item.Properties = ParseProperties(depth + 1);
            ExpectEnd();
            value.Items.push_back(std::move(item));
        }
        Advance();
        return value;
    }

    TLexer FLexer;
    TToken FToken;
};

void CheckSize(const QByteArray& text) {
    if (text.size() > MaxTextFormSize)
        ThrowReadError(1, QStringLiteral("Text form too large (%1 bytes)").arg(text.size()));
}

} // namespace

TTextObject ParseTextForm(const QByteArray& Text) {
    CheckSize(Text);
    TParser parser(Text);
    TTextObject object = parser.ParseObject();
    parser.ExpectEof();
    return object;
}

TTextValue ParseTextValue(const QByteArray& Text) {
    CheckSize(Text);
    TParser parser(Text);
    TTextValue value = parser.ParseValue(1);
    parser.ExpectEof();
    return value;
}

} // namespace zelk::rtl
