#pragma once

// JSON text of notifications (the monitor's JSON lines, the journal's exports), written straight
// into a byte buffer: strings as UTF-8 with the escapes JSON requires, and VARIANT values as the
// JSON value closest to them.

#include "variant.h"

#include <QString>
#include <string>

namespace zelk::ae {

// A quoted JSON string. Control characters are escaped; a lone UTF-16 surrogate (which
// no UTF-8 text can carry) becomes U+FFFD.
void AppendJsonString(std::string& out, const QString& text);
// The separator and key of an object's field after its first: ,"key":
void AppendJsonKey(std::string& out, const char* key);
// A JSON number; NaN and the infinities, which JSON lacks, become null.
void AppendJsonNumber(std::string& out, double value);
void AppendJsonNumber(std::string& out, std::int64_t value);
void AppendJsonNumber(std::string& out, std::uint64_t value);

// Empty and null values give null, numbers and Booleans their JSON kind, currency its
// exact decimal value, strings a string, dates a local ISO 8601 string without zone,
// arrays (of any dimension) nested JSON arrays, values by reference what they point to.
// What JSON cannot carry (interfaces, unknown types) gives null.
void AppendJsonVariant(std::string& out, const VARIANT& value);

} // namespace zelk::ae
