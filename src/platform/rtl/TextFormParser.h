#pragma once

// The parsed text form: a tree of values that the reader applies only after the whole
// text has been parsed, so that a syntax error anywhere changes nothing.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace zelk::rtl {

struct TTextItem;

struct TTextValue {
    enum TKind { vkString, vkInteger, vkFloat, vkIdent, vkSet, vkList, vkCollection };

    TKind Kind = vkIdent;
    int Line = 0;
    // String contents, identifier, or the number literal as written.
    QString Text;
    // Members of a set, as written.
    QStringList Members;
    // Elements of a list.
    std::vector<TTextValue> Elements;
    // Items of a collection.
    std::vector<TTextItem> Items;
};

struct TTextProperty {
    // As written, possibly dotted (`Lines.Strings`).
    QString Name;
    int Line = 0;
    TTextValue Value;
};

struct TTextItem {
    int Line = 0;
    std::vector<TTextProperty> Properties;
};

struct TTextObject {
    // Empty when the `object` line names only the class.
    QString Name;
    QString ClassName;
    int Line = 0;
    std::vector<TTextProperty> Properties;
};

// Parses a complete text form; EReadError ("Line n: …") for anything malformed.
TTextObject ParseTextForm(const QByteArray& Text);
// Parses one value on its own (a declared default); EReadError when malformed.
TTextValue ParseTextValue(const QByteArray& Text);

// "Line n: message"
QString LineMessage(int Line, const QString& Message);
[[noreturn]] void ThrowReadError(int Line, const QString& Message);
// Text-form name of a value kind for error messages ("string", "integer", …).
QString KindName(TTextValue::TKind Kind);

} // namespace zelk::rtl
