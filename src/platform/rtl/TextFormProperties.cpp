#include "TextFormProperties.h"

#include "Collection.h"
#include "Component.h"
#include "Exceptions.h"

#include <QLocale>
#include <QMetaEnum>
#include <cmath>
#include <cstring>
#include <limits>

namespace zelk::rtl {

namespace {

QByteArray ClassInfo(const QObject* object, const char* prefix, const QMetaProperty& property) {
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfClassInfo(QByteArray(prefix + QByteArray(property.name())));
    return index >= 0 ? QByteArray(meta->classInfo(index).value()) : QByteArray();
}

[[noreturn]] void WrongKind(const TTextValue& value, const QString& name, const QString& expected) {
    ThrowReadError(value.Line,
                   QStringLiteral("Invalid value for property %1: %2 expected, found %3")
                       .arg(name, expected, KindName(value.Kind)));
}

[[noreturn]] void OutOfRange(const TTextValue& value, const QString& name) {
    ThrowReadError(value.Line,
                   QStringLiteral("Value %1 out of range for property %2").arg(value.Text, name));
}

// Integer literal without a leading '+', which the number parsers do not all accept.
QString Digits(const TTextValue& value) {
    return value.Text.startsWith(QLatin1Char('+')) ? value.Text.mid(1) : value.Text;
}

int EnumValueOf(const QMetaEnum& meta, const QString& key, const TTextValue& value,
                const QString& name) {
    for (int i = 0; i < meta.keyCount(); ++i) {
        if (key.compare(QLatin1StringView(meta.key(i)), Qt::CaseInsensitive) == 0)
            return meta.value(i);
    }
    ThrowReadError(value.Line,
                   QStringLiteral("%1 is not a valid value of property %2").arg(key, name));
}

QVariant IntegerValue(TPropertyKind kind, const TTextValue& value, const QString& name) {
    if (value.Kind != TTextValue::vkInteger)
        WrongKind(value, name, QStringLiteral("integer"));
    bool ok = false;
    if (kind == TPropertyKind::UInt64) {
        const qulonglong number =
            value.Text.startsWith(QLatin1Char('-')) ? 0 : Digits(value).toULongLong(&ok);
        if (!ok)
            OutOfRange(value, name);
        return QVariant::fromValue(number);
    }
    const qlonglong number = Digits(value).toLongLong(&ok);
    if (!ok)
        OutOfRange(value, name);
    switch (kind) {
    case TPropertyKind::Int32:
        if (number < std::numeric_limits<qint32>::min() ||
            number > std::numeric_limits<qint32>::max())
            OutOfRange(value, name);
        return QVariant::fromValue(static_cast<int>(number));
    case TPropertyKind::UInt32:
        if (number < 0 || number > std::numeric_limits<quint32>::max())
            OutOfRange(value, name);
        return QVariant::fromValue(static_cast<uint>(number));
    default:
        return QVariant::fromValue(number);
    }
}

} // namespace

TPropertyKind PropertyKind(const QMetaProperty& Property) {
    if (Property.isFlagType())
        return TPropertyKind::Set;
    if (Property.isEnumType())
        return TPropertyKind::Enum;
    const QMetaType type = Property.metaType();
    switch (type.id()) {
    case QMetaType::QString:
        return TPropertyKind::String;
    case QMetaType::Bool:
        return TPropertyKind::Bool;
    case QMetaType::Int:
        return TPropertyKind::Int32;
    case QMetaType::UInt:
        return TPropertyKind::UInt32;
    case QMetaType::LongLong:
        return TPropertyKind::Int64;
    case QMetaType::ULongLong:
        return TPropertyKind::UInt64;
    case QMetaType::Double:
        return TPropertyKind::Double;
    case QMetaType::QStringList:
        return TPropertyKind::Strings;
    default:
        break;
    }
    if (type.flags().testFlag(QMetaType::PointerToQObject) && type.metaObject() &&
        type.metaObject()->inherits(&TCollection::staticMetaObject))
        return TPropertyKind::Collection;
    return TPropertyKind::Unsupported;
}

QList<QMetaProperty> PublishedProperties(const QObject* Object) {
    const QMetaObject* meta = Object->metaObject();
    const QMetaObject* base = qobject_cast<const TComponent*>(Object)
                                  ? &TComponent::staticMetaObject
                                  : &QObject::staticMetaObject;
    QList<QMetaProperty> properties;
    for (int i = base->propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isDesignable())
            continue;
        if (property.isWritable() || PropertyKind(property) == TPropertyKind::Collection)
            properties.append(property);
    }
    return properties;
}

std::optional<QMetaProperty> FindPublishedProperty(const QObject* Object, const QString& Name) {
    for (const QMetaProperty& property : PublishedProperties(Object)) {
        if (Name.compare(QLatin1StringView(property.name()), Qt::CaseInsensitive) == 0)
            return property;
    }
    return std::nullopt;
}

qint64 EnumToInteger(const QVariant& Value) {
    const QMetaType type = Value.metaType();
    const bool isUnsigned = type.flags().testFlag(QMetaType::IsUnsignedEnumeration);
    const void* data = Value.constData();
    auto read = [data]<typename T>(T sample) {
        std::memcpy(&sample, data, sizeof sample);
        return static_cast<qint64>(sample);
    };
    switch (type.sizeOf()) {
    case 1:
        return isUnsigned ? read(quint8()) : read(qint8());
    case 2:
        return isUnsigned ? read(quint16()) : read(qint16());
    case 4:
        return isUnsigned ? read(quint32()) : read(qint32());
    case 8:
        return read(qint64());
    default:
        throw EPropertyError(
            QStringLiteral("Unsupported enumeration type %1").arg(QLatin1StringView(type.name())));
    }
}

QVariant IntegerToEnum(QMetaType Type, qint64 Value) {
    QVariant result(Type);
    void* data = result.data();
    auto write = [data, Value]<typename T>(T) {
        const T narrowed = static_cast<T>(Value);
        std::memcpy(data, &narrowed, sizeof narrowed);
    };
    switch (Type.sizeOf()) {
    case 1:
        write(qint8());
        break;
    case 2:
        write(qint16());
        break;
    case 4:
        write(qint32());
        break;
    case 8:
        write(qint64());
        break;
    default:
        throw EPropertyError(
            QStringLiteral("Unsupported enumeration type %1").arg(QLatin1StringView(Type.name())));
    }
    return result;
}

QVariant TextToVariant(const QMetaProperty& Property, TPropertyKind Kind, const TTextValue& Value,
                       const QString& Name) {
    switch (Kind) {
    case TPropertyKind::String:
        if (Value.Kind != TTextValue::vkString)
            WrongKind(Value, Name, QStringLiteral("string"));
        return QVariant::fromValue(Value.Text);
    case TPropertyKind::Bool:
        if (Value.Kind == TTextValue::vkIdent) {
            if (Value.Text.compare(QLatin1StringView("True"), Qt::CaseInsensitive) == 0)
                return QVariant::fromValue(true);
            if (Value.Text.compare(QLatin1StringView("False"), Qt::CaseInsensitive) == 0)
                return QVariant::fromValue(false);
        }
        WrongKind(Value, Name, QStringLiteral("True or False"));
    case TPropertyKind::Int32:
    case TPropertyKind::UInt32:
    case TPropertyKind::Int64:
    case TPropertyKind::UInt64:
        return IntegerValue(Kind, Value, Name);
    case TPropertyKind::Double: {
        if (Value.Kind != TTextValue::vkInteger && Value.Kind != TTextValue::vkFloat)
            WrongKind(Value, Name, QStringLiteral("number"));
        bool ok = false;
        const double number = Digits(Value).toDouble(&ok);
        if (!ok || !std::isfinite(number))
            OutOfRange(Value, Name);
        return QVariant::fromValue(number);
    }
    case TPropertyKind::Enum:
        if (Value.Kind != TTextValue::vkIdent)
            WrongKind(Value, Name, QStringLiteral("identifier"));
        return IntegerToEnum(Property.metaType(),
                             EnumValueOf(Property.enumerator(), Value.Text, Value, Name));
    case TPropertyKind::Set: {
        if (Value.Kind != TTextValue::vkSet)
            WrongKind(Value, Name, QStringLiteral("set"));
        qint64 bits = 0;
        for (const QString& member : Value.Members)
            bits |= EnumValueOf(Property.enumerator(), member, Value, Name);
        return IntegerToEnum(Property.metaType(), bits);
    }
    case TPropertyKind::Strings:
    case TPropertyKind::Collection:
    case TPropertyKind::Unsupported:
        break;
    }
    ThrowReadError(Value.Line, QStringLiteral("Property %1 cannot take a simple value").arg(Name));
}

QByteArray QuoteString(QStringView Text) {
    QByteArray out;
    bool quoted = false;
    for (const QChar ch : Text) {
        const char16_t c = ch.unicode();
        if (c >= 0x20 && c < 0x7F) {
            if (!quoted)
                out += '\'';
            quoted = true;
            out += c == u'\'' ? QByteArray("''") : QByteArray(1, static_cast<char>(c));
        } else {
            if (quoted)
                out += '\'';
            quoted = false;
            out += '#' + QByteArray::number(c);
        }
    }
    if (quoted)
        out += '\'';
    return out.isEmpty() ? QByteArray("''") : out;
}

QByteArray VariantToText(const QMetaProperty& Property, TPropertyKind Kind, const QVariant& Value) {
    const QString name = QLatin1StringView(Property.name());
    switch (Kind) {
    case TPropertyKind::String:
        return QuoteString(Value.toString());
    case TPropertyKind::Bool:
        return Value.toBool() ? QByteArray("True") : QByteArray("False");
    case TPropertyKind::Int32:
        return QByteArray::number(Value.toInt());
    case TPropertyKind::UInt32:
        return QByteArray::number(Value.toUInt());
    case TPropertyKind::Int64:
        return QByteArray::number(Value.toLongLong());
    case TPropertyKind::UInt64:
        return QByteArray::number(Value.toULongLong());
    case TPropertyKind::Double: {
        const double number = Value.toDouble();
        if (!std::isfinite(number))
            throw EPropertyError(
                QStringLiteral("Property %1 holds a value the text form cannot store").arg(name));
        return QString::number(number, 'g', QLocale::FloatingPointShortest).toLatin1();
    }
    case TPropertyKind::Enum: {
        const qint64 number = EnumToInteger(Value);
        const char* key = Property.enumerator().valueToKey(static_cast<int>(number));
        if (!key)
            throw EPropertyError(QStringLiteral("Property %1 holds %2, which is not one of its "
                                                "enumerators")
                                     .arg(name)
                                     .arg(number));
        return QByteArray(key);
    }
    case TPropertyKind::Set: {
        const QMetaEnum meta = Property.enumerator();
        const qint64 bits = EnumToInteger(Value);
        qint64 covered = 0;
        QByteArrayList members;
        for (int i = 0; i < meta.keyCount(); ++i) {
            const qint64 bit = static_cast<quint32>(meta.value(i));
            if (bit != 0 && (bits & bit) == bit && (covered & bit) != bit) {
                members.append(QByteArray(meta.key(i)));
                covered |= bit;
            }
        }
        if (covered != (bits & 0xFFFFFFFF))
            throw EPropertyError(
                QStringLiteral("Property %1 holds set members without a name").arg(name));
        return '[' + members.join(", ") + ']';
    }
    case TPropertyKind::Strings:
    case TPropertyKind::Collection:
    case TPropertyKind::Unsupported:
        break;
    }
    throw EPropertyError(QStringLiteral("Property %1 has no simple text notation").arg(name));
}

std::optional<QByteArray> DefaultText(const QObject* Object, const QMetaProperty& Property,
                                      TPropertyKind Kind) {
    const QString name = QLatin1StringView(Property.name());
    const QByteArray declared = ClassInfo(Object, "default:", Property);
    if (!declared.isNull()) {
        if (Kind == TPropertyKind::Strings || Kind == TPropertyKind::Collection)
            throw EPropertyError(
                QStringLiteral("Property %1: only a simple value can have a default").arg(name));
        try {
            return VariantToText(Property, Kind,
                                 TextToVariant(Property, Kind, ParseTextValue(declared), name));
        } catch (const EReadError& e) {
            throw EPropertyError(
                QStringLiteral("Invalid default for property %1 of %2: %3")
                    .arg(name, QLatin1StringView(Object->metaObject()->className()), e.Message()));
        }
    }
    switch (Kind) {
    case TPropertyKind::String:
        return QByteArray("''");
    case TPropertyKind::Bool:
        return QByteArray("False");
    case TPropertyKind::Int32:
    case TPropertyKind::UInt32:
    case TPropertyKind::Int64:
    case TPropertyKind::UInt64:
    case TPropertyKind::Double:
        return QByteArray("0");
    case TPropertyKind::Enum: {
        const char* key = Property.enumerator().valueToKey(0);
        return key ? std::optional<QByteArray>(QByteArray(key)) : std::nullopt;
    }
    case TPropertyKind::Set:
        return QByteArray("[]");
    case TPropertyKind::Strings:
    case TPropertyKind::Collection:
    case TPropertyKind::Unsupported:
        break;
    }
    return std::nullopt;
}

bool IsAlwaysStored(const QObject* Object, const QMetaProperty& Property) {
    const QByteArray stored = ClassInfo(Object, "stored:", Property);
    if (stored.isNull())
        return false;
    if (stored.compare("always", Qt::CaseInsensitive) != 0)
        throw EPropertyError(
            QStringLiteral("Property %1: unknown stored mark '%2'")
                .arg(QLatin1StringView(Property.name()), QString::fromUtf8(stored)));
    return true;
}

void SetPropertyValue(QObject* Object, const QMetaProperty& Property, QVariant& Value) {
    // The setter reads argv[0] as the property's own type: never hand it anything else.
    if (Value.metaType() != Property.metaType() && !Value.convert(Property.metaType()))
        throw EPropertyError(QStringLiteral("Property %1 cannot take a value of type %2")
                                 .arg(QLatin1StringView(Property.name()),
                                      QLatin1StringView(Value.metaType().name())));
    int status = -1;
    int flags = 0;
    void* argv[] = {Value.data(), &Value, &status, &flags};
    Object->qt_metacall(QMetaObject::WriteProperty, Property.propertyIndex(), argv);
}

} // namespace zelk::rtl
