#pragma once

// The texts IOPCCommon::GetErrorString gives for the codes a client meets with this
// server, in English (0x0409) and German (0x0407).

#include "comtypes.h"

#include <QString>
#include <optional>

namespace zelk::aesim {

inline constexpr LCID SimLocaleEnglish = 0x0409;
inline constexpr LCID SimLocaleGerman = 0x0407;

// Nothing for a code the server does not know.
std::optional<QString> SimErrorText(HRESULT code, LCID locale);

} // namespace zelk::aesim
