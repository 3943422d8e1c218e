#include "Collection.h"
#include "Exceptions.h"
#include "TextForm.h"
#include "TextFormProperties.h"

#include <QIODevice>

namespace {

using namespace zelk::rtl;

// Strings longer than this are split into `'…' +` lines.
constexpr qsizetype LineLength = 64;

QByteArray Indent(int level) {
    return QByteArray(2 * level, ' ');
}

QByteArray SplitString(const QString& text, int level) {
    if (text.size() <= LineLength)
        return QuoteString(text);
    QByteArray out;
    for (qsizetype start = 0; start < text.size(); start += LineLength) {
        if (start > 0)
            out += " +\n" + Indent(level);
        out += QuoteString(QStringView(text).mid(start, LineLength));
    }
    return out;
}

class TWriter {
public:
    QByteArray Write(const TComponent* instance) {
        FOut = "object ";
        if (!instance->Name().isEmpty())
            FOut += instance->Name().toUtf8() + ": ";
        FOut += QByteArray(instance->metaObject()->className()) + '\n';
        WriteProperties(instance, 1);
        FOut += "end\n";
        return FOut;
    }

private:
    void WriteProperties(const QObject* object, int level) {
        if (level > MaxTextFormDepth)
            throw EPropertyError(QStringLiteral("Collections nested too deep to store"));
        for (const QMetaProperty& property : PublishedProperties(object)) {
            if (property.isStored())
                WriteProperty(object, property, level);
        }
    }

    void WriteProperty(const QObject* object, const QMetaProperty& property, int level) {
        const TPropertyKind kind = PropertyKind(property);
        const bool always = IsAlwaysStored(object, property);
        const QByteArray name(property.name());
        const QVariant value = property.read(object);
        switch (kind) {
        case TPropertyKind::Unsupported:
            throw EPropertyError(QStringLiteral("Property %1 of %2 has a type the text form "
                                                "cannot store (%3)")
                                     .arg(QLatin1StringView(name),
                                          QLatin1StringView(object->metaObject()->className()),
                                          QLatin1StringView(property.typeName())));
        case TPropertyKind::Strings:
            WriteStrings(name, value.toStringList(), always, level);
            return;
        case TPropertyKind::Collection:
            WriteCollection(name, qobject_cast<const TCollection*>(value.value<QObject*>()), always,
                            level);
            return;
        default:
            break;
        }
        const QByteArray text = VariantToText(property, kind, value);
        if (!always && DefaultText(object, property, kind) == text)
            return;
        FOut += Indent(level) + name + " = ";
        FOut += kind == TPropertyKind::String ? SplitString(value.toString(), level + 1) : text;
        FOut += '\n';
    }

    void WriteStrings(const QByteArray& name, const QStringList& lines, bool always, int level) {
        if (lines.isEmpty() && !always)
            return;
        FOut += Indent(level) + name + ".Strings = (";
        for (const QString& line : lines)
            FOut += '\n' + Indent(level + 1) + SplitString(line, level + 2);
        FOut += ")\n";
    }

    void WriteCollection(const QByteArray& name, const TCollection* collection, bool always,
                         int level) {
        const int count = collection ? collection->Count() : 0;
        if (count == 0 && !always)
            return;
        FOut += Indent(level) + name + " = <";
        for (int i = 0; i < count; ++i) {
            FOut += '\n' + Indent(level + 1) + "item\n";
            WriteProperties(collection->Items(i), level + 2);
            FOut += Indent(level + 1) + "end";
        }
        FOut += ">\n";
    }

    QByteArray FOut;
};

} // namespace

QByteArray WriteComponentToText(const TComponent* Instance) {
    if (!Instance)
        throw EPropertyError(QStringLiteral("No component to write"));
    return TWriter().Write(Instance);
}

void WriteComponentToStream(const TComponent* Instance, QIODevice& Stream) {
    const QByteArray text = WriteComponentToText(Instance);
    if (Stream.write(text) != text.size())
        throw EStreamError(QStringLiteral("Stream write error"));
}
