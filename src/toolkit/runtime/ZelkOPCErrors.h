#pragma once

// OPC result codes as text, and the check every server call's result goes through.

#include "comtypes.h"

#include <QString>

// The OPC message for `code`; empty when the code is unknown or has no message.
QString OPCErrorText(HRESULT code);
// The OPC name for `code` without the "OPC_" prefix; "E_UNKNOWN" when the code is unknown.
QString OPCErrorName(HRESULT code);
// Returns when `code` is a success; otherwise raises as OPCRaise does.
void OPCCheck(HRESULT code);
// Raises EOPCException ("<name> <text>") for a code with an OPC message, otherwise
// EOleSysError carrying the code with the system's text for it.
[[noreturn]] void OPCRaise(HRESULT code);
