#pragma once

// The OPC result codes: Data Access, Alarms and Events, Historical Data Access and
// Security, under the OPC Foundation's names. All are FACILITY_ITF codes, so the same
// value may mean different things in different OPC standards (0xC0040203 is an invalid
// property id in Data Access and an invalid branch name in Alarms and Events).
// The texts of these codes belong to the toolkit's result-text table, not here.

#include "comtypes.h"

namespace zelk::com::detail {
constexpr HRESULT OpcCode(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}
} // namespace zelk::com::detail

// ---- Data Access ----
inline constexpr HRESULT OPC_E_INVALIDHANDLE = zelk::com::detail::OpcCode(0xC0040001);
inline constexpr HRESULT OPC_E_BADTYPE = zelk::com::detail::OpcCode(0xC0040004);
inline constexpr HRESULT OPC_E_PUBLIC = zelk::com::detail::OpcCode(0xC0040005);
inline constexpr HRESULT OPC_E_BADRIGHTS = zelk::com::detail::OpcCode(0xC0040006);
inline constexpr HRESULT OPC_E_UNKNOWNITEMID = zelk::com::detail::OpcCode(0xC0040007);
inline constexpr HRESULT OPC_E_INVALIDITEMID = zelk::com::detail::OpcCode(0xC0040008);
inline constexpr HRESULT OPC_E_INVALIDFILTER = zelk::com::detail::OpcCode(0xC0040009);
inline constexpr HRESULT OPC_E_UNKNOWNPATH = zelk::com::detail::OpcCode(0xC004000A);
inline constexpr HRESULT OPC_E_RANGE = zelk::com::detail::OpcCode(0xC004000B);
inline constexpr HRESULT OPC_E_DUPLICATENAME = zelk::com::detail::OpcCode(0xC004000C);
inline constexpr HRESULT OPC_S_UNSUPPORTEDRATE = zelk::com::detail::OpcCode(0x0004000D);
inline constexpr HRESULT OPC_S_CLAMP = zelk::com::detail::OpcCode(0x0004000E);
inline constexpr HRESULT OPC_S_INUSE = zelk::com::detail::OpcCode(0x0004000F);
inline constexpr HRESULT OPC_E_INVALIDCONFIGFILE = zelk::com::detail::OpcCode(0xC0040010);
inline constexpr HRESULT OPC_E_NOTFOUND = zelk::com::detail::OpcCode(0xC0040011);
inline constexpr HRESULT OPC_E_INVALID_PID = zelk::com::detail::OpcCode(0xC0040203);
inline constexpr HRESULT OPC_E_DEADBANDNOTSET = zelk::com::detail::OpcCode(0xC0040400);
inline constexpr HRESULT OPC_E_DEADBANDNOTSUPPORTED = zelk::com::detail::OpcCode(0xC0040401);
inline constexpr HRESULT OPC_E_NOBUFFERING = zelk::com::detail::OpcCode(0xC0040402);
inline constexpr HRESULT OPC_E_INVALIDCONTINUATIONPOINT = zelk::com::detail::OpcCode(0xC0040403);
inline constexpr HRESULT OPC_S_DATAQUEUEOVERFLOW = zelk::com::detail::OpcCode(0x00040404);
inline constexpr HRESULT OPC_E_RATENOTSET = zelk::com::detail::OpcCode(0xC0040405);
inline constexpr HRESULT OPC_E_NOTSUPPORTED = zelk::com::detail::OpcCode(0xC0040406);
inline constexpr HRESULT OPC_E_STALEVALUE = zelk::com::detail::OpcCode(0xC0040407);
inline constexpr HRESULT OPC_E_WRITEONLY = zelk::com::detail::OpcCode(0xC0040408);
inline constexpr HRESULT OPC_E_READONLY = zelk::com::detail::OpcCode(0xC0040409);

// The names under which the toolkit's result texts list these codes. (That table also
// lists 0xC0040007 and 0xC0040008 as "E_UNKNOWNITEMNAME", and the variant-conversion
// codes DISP_E_TYPEMISMATCH and DISP_E_OVERFLOW of comtypes.h as "E_RANGE".)
inline constexpr HRESULT OPC_E_INVALIDITEMPATH = OPC_E_UNKNOWNPATH;
inline constexpr HRESULT OPC_E_INVALIDPID = OPC_E_INVALID_PID;

// ---- Alarms and Events ----
inline constexpr HRESULT OPC_S_ALREADYACKED = zelk::com::detail::OpcCode(0x00040200);
inline constexpr HRESULT OPC_S_INVALIDBUFFERTIME = zelk::com::detail::OpcCode(0x00040201);
inline constexpr HRESULT OPC_S_INVALIDMAXSIZE = zelk::com::detail::OpcCode(0x00040202);
inline constexpr HRESULT OPC_S_INVALIDKATIME = zelk::com::detail::OpcCode(0x00040203);
inline constexpr HRESULT OPC_E_INVALIDBRANCHNAME = zelk::com::detail::OpcCode(0xC0040203);
inline constexpr HRESULT OPC_E_INVALIDTIME = zelk::com::detail::OpcCode(0xC0040204);
inline constexpr HRESULT OPC_E_BUSY = zelk::com::detail::OpcCode(0xC0040205);
inline constexpr HRESULT OPC_E_NOINFO = zelk::com::detail::OpcCode(0xC0040206);

// The result-text table's name for OPC_S_INVALIDKATIME.
inline constexpr HRESULT OPC_S_INVALIDKEEPALIVETIME = OPC_S_INVALIDKATIME;

// ---- Security ----
inline constexpr HRESULT OPC_E_PRIVATE_ACTIVE = zelk::com::detail::OpcCode(0xC0040301);
inline constexpr HRESULT OPC_E_LOW_IMPERS_LEVEL = zelk::com::detail::OpcCode(0xC0040302);
inline constexpr HRESULT OPC_S_LOW_AUTHN_LEVEL = zelk::com::detail::OpcCode(0x00040303);

// ---- Historical Data Access ----
inline constexpr HRESULT OPC_E_MAXEXCEEDED = zelk::com::detail::OpcCode(0xC0041001);
inline constexpr HRESULT OPC_S_NODATA = zelk::com::detail::OpcCode(0x40041002);
inline constexpr HRESULT OPC_S_MOREDATA = zelk::com::detail::OpcCode(0x40041003);
inline constexpr HRESULT OPC_E_INVALIDAGGREGATE = zelk::com::detail::OpcCode(0xC0041004);
inline constexpr HRESULT OPC_S_CURRENTVALUE = zelk::com::detail::OpcCode(0x40041005);
inline constexpr HRESULT OPC_S_EXTRADATA = zelk::com::detail::OpcCode(0x40041006);
// A warning: the severity bit is set, so FAILED() is true for it.
inline constexpr HRESULT OPC_W_NOFILTER = zelk::com::detail::OpcCode(0x80041007);
inline constexpr HRESULT OPC_E_UNKNOWNATTRID = zelk::com::detail::OpcCode(0xC0041008);
inline constexpr HRESULT OPC_E_NOT_AVAIL = zelk::com::detail::OpcCode(0xC0041009);
inline constexpr HRESULT OPC_E_INVALIDDATATYPE = zelk::com::detail::OpcCode(0xC004100A);
inline constexpr HRESULT OPC_E_DATAEXISTS = zelk::com::detail::OpcCode(0xC004100B);
inline constexpr HRESULT OPC_E_INVALIDATTRID = zelk::com::detail::OpcCode(0xC004100C);
inline constexpr HRESULT OPC_E_NODATAEXISTS = zelk::com::detail::OpcCode(0xC004100D);
inline constexpr HRESULT OPC_S_INSERTED = zelk::com::detail::OpcCode(0x4004100E);
inline constexpr HRESULT OPC_S_REPLACED = zelk::com::detail::OpcCode(0x4004100F);
