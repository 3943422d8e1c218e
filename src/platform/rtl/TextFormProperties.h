#pragma once

// What the text-form writer and reader share: which Q_PROPERTYs are published, their
// value kinds, defaults, and the conversion between parsed values and QVariants.

#include "TextFormParser.h"

#include <QList>
#include <QMetaProperty>
#include <QVariant>
#include <optional>

namespace zelk::rtl {

enum class TPropertyKind {
    String,
    Bool,
    Int32,
    UInt32,
    Int64,
    UInt64,
    Double,
    Enum,
    Set,
    Strings,
    Collection,
    Unsupported
};

TPropertyKind PropertyKind(const QMetaProperty& Property);
// In declaration order, base class first (see TextForm.h for what counts as published).
QList<QMetaProperty> PublishedProperties(const QObject* Object);
// The published property of that name, in any letter case.
std::optional<QMetaProperty> FindPublishedProperty(const QObject* Object, const QString& Name);

// Enumeration and set values as integers, whatever the enumeration's storage size.
qint64 EnumToInteger(const QVariant& Value);
QVariant IntegerToEnum(QMetaType Type, qint64 Value);

// Converts a parsed scalar value to the property's type; EReadError naming the value's
// line when the kind does not match or the value does not fit. Name is the name used in
// messages.
QVariant TextToVariant(const QMetaProperty& Property, TPropertyKind Kind, const TTextValue& Value,
                       const QString& Name);
// The notation of a scalar value (strings unsplit); EPropertyError when it has none.
QByteArray VariantToText(const QMetaProperty& Property, TPropertyKind Kind, const QVariant& Value);
// 'text' with '' for a quote and #n for anything outside printable ASCII.
QByteArray QuoteString(QStringView Text);

// The notation of the property's default, or nothing when it has none (then it is always
// written). A malformed declared default raises EPropertyError.
std::optional<QByteArray> DefaultText(const QObject* Object, const QMetaProperty& Property,
                                      TPropertyKind Kind);
bool IsAlwaysStored(const QObject* Object, const QMetaProperty& Property);

// Runs the property's setter. The call goes straight into the moc-generated code of the
// object's class, so an exception from the setter reaches the caller through our frames.
void SetPropertyValue(QObject* Object, const QMetaProperty& Property, QVariant& Value);

} // namespace zelk::rtl
