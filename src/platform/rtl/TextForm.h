#pragma once

// The text form of components: how published settings are stored.
//
//   object ZelkEventServer1: TZelkEventServer
//     ServerName = 'Sim.AE.1'
//     Active = False
//     Params.Strings = (
//       'xml-user='
//       'a'#13#10'b')
//     Filter = <
//       item
//         Name = 'Default'
//         EventType = [evSimple, evTracking]
//       end>
//   end
//
// Published properties are the Q_PROPERTYs declared below QObject (TComponent's Name goes
// into the `object` line), in declaration order, base class first, that are DESIGNABLE
// (the default) and either writable or of a TCollection pointer type. A published
// property is written when it is STORED (the default) and its value differs from its
// default. Declare the default and the "always" mark with class information:
//
//   Q_CLASSINFO("default:KeepAlive", "1000")      the value in text-form notation:
//   Q_CLASSINFO("default:Active", "True")         1000, True, 'text', coCOM, [a, b], 1.5
//   Q_CLASSINFO("stored:Active", "always")        written whatever its value
//
// Without a declared default a property's default is its type's zero value: 0, False,
// the empty string, the enumerator of value 0, the empty set, an empty string list or
// collection. A TCollectionItem subclass declares its defaults the same way.
//
// Value kinds and their notation:
//   QString        'it''s'#13#10'ok' — printable ASCII quoted, anything else #n (UTF-16
//                  code units); long strings are split with + across lines
//   bool           True / False
//   int, uint, qint64, quint64   decimal;  double  shortest exact decimal (finite only)
//   Q_ENUM         the enumerator's name
//   Q_FLAG         [a, b]: the names of the set's members; declare the flag enumerators
//                  with the values 1 << ordinal, as the toolkit's sets are
//   QStringList    X.Strings = ( 'a' 'b' ), written only when not empty
//   TCollection*   X = < item … end … >, read-only property; the reader clears the
//                  collection and adds the stored items through its factory
// A published property of any other type makes writing raise EPropertyError.
//
// Reading parses the whole text first (any syntax error changes nothing), checks the
// class name, then applies the name (made unique within the owner as Name_1, Name_2, …
// when another owned component has it) and the properties in text order with csLoading set,
// and calls Loaded() after a successful read. Every failure is an EReadError whose
// message starts with "Line n: ". A failing property setter leaves the properties before
// it applied (the component stays valid) and its message is kept in the EReadError.

#include "Component.h"

#include <QByteArray>

class QIODevice;

// The component and its published properties in the text form (UTF-8; the writer itself
// emits ASCII only).
QByteArray WriteComponentToText(const TComponent* Instance);
// Writes the text form at the device's position; EStreamError when the device fails.
void WriteComponentToStream(const TComponent* Instance, QIODevice& Stream);

// Reads the text form into Instance, whose class must be the stored one.
void ReadComponentFromText(const QByteArray& Text, TComponent* Instance);
// Reads everything from the device's position to its end, then as above.
void ReadComponentFromStream(QIODevice& Stream, TComponent* Instance);

namespace zelk::rtl {

// Inputs above this size are refused before parsing.
inline constexpr qsizetype MaxTextFormSize = 64 * 1024 * 1024;
// Lists, collections and items nested deeper than this are refused.
inline constexpr int MaxTextFormDepth = 32;

} // namespace zelk::rtl
