#include "ZelkOPCErrors.h"

#include "ZelkExceptions.h"
#include "syserror.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

struct TOPCErrorRow {
    std::uint32_t Code;
    const char* Name;
    const char* Text; // nullptr: the code has a name but no message
};

// Sorted by code for the binary search below. These texts are what the operator reads
// for a failed server call; two codes share a name on purpose (E_UNKNOWNITEMNAME,
// E_RANGE), and the variant-conversion failures have a name but no message so that
// they are reported with the system's text.
constexpr std::array<TOPCErrorRow, 53> OPCErrors{{
    {0x0004000D, "S_UNSUPPORTEDRATE",
     "The server does not support the requested data rate\r\nbut will use the closest "
     "available rate."},
    {0x0004000E, "S_CLAMP", "A value passed to WRITE was accepted but the output was clamped."},
    {0x0004000F, "S_INUSE",
     "The operation cannot be completed because the\r\nobject still has references that exist."},
    {0x00040200, "S_ALREADYACKED", "The condition has already been acknowleged."},
    {0x00040201, "S_INVALIDBUFFERTIME", "The buffer time parameter was invalid."},
    {0x00040202, "S_INVALIDMAXSIZE", "The max size parameter was invalid."},
    {0x00040203, "S_INVALIDKEEPALIVETIME", "The KeepAliveTime parameter was invalid."},
    {0x00040303, "S_LOW_AUTHN_LEVEL",
     "OPC Security: Server expected higher level of package privacy."},
    {0x00040404, "S_DATAQUEUEOVERFLOW",
     "Not every detected change has been returned since the server's buffer reached its limit "
     "and had to purge out the oldest data."},
    {0x40041002, "S_NODATA", "There is no data within the specified parameter."},
    {0x40041003, "S_MOREDATA", "There is more data satisfying the query than was returned."},
    {0x40041005, "S_CURRENTVALUE",
     "The server only returns current values for the requested item attributes."},
    {0x40041006, "S_EXTRADATA", "Additional data satisfying the query was found."},
    {0x4004100E, "S_INSERTED", "The requested insert occured."},
    {0x4004100F, "S_REPLACED", "The requested replace occured."},
    {0x80020005, "E_RANGE", nullptr},
    {0x8002000A, "E_RANGE", nullptr},
    {0x80041007, "W_NOFILTER", "The server does not support this filter."},
    {0xC0040001, "E_INVALIDHANDLE", "The value of the handle is invalid."},
    {0xC0040004, "E_BADTYPE",
     "The server cannot convert the data between the\r\nrequested data type and the canonical "
     "data"},
    {0xC0040005, "E_PUBLIC", "The requested operation cannot be done on a public group."},
    {0xC0040006, "E_BADRIGHTS", "The Items AccessRights do not allow the operation."},
    {0xC0040007, "E_UNKNOWNITEMNAME",
     "The item is no longer available in the server address space."},
    {0xC0040008, "E_UNKNOWNITEMNAME",
     "The item definition doesn't conform to the server's syntax."},
    {0xC0040009, "E_INVALIDFILTER", "The filter string was not valid"},
    {0xC004000A, "E_INVALIDITEMPATH", "The item's access path is not known to the server."},
    {0xC004000B, "E_RANGE", "The value was out of range."},
    {0xC004000C, "E_DUPLICATENAME", "Duplicate name not allowed."},
    {0xC0040010, "E_INVALIDCONFIGFILE", "The server's configuration file is an invalid format."},
    {0xC0040011, "E_NOTFOUND", "The server could not locate the requested object."},
    {0xC0040203, "E_INVALIDPID", "The server does not recognise the passed property ID."},
    {0xC0040204, "E_INVALIDTIME", "invalid time format."},
    {0xC0040205, "E_BUSY", "A refresh is currently in progress."},
    {0xC0040206, "E_NOINFO", "Information is not available."},
    {0xC0040301, "E_PRIVATE_ACTIVE",
     "OPC Security: A session using private OPC credentials is already active."},
    {0xC0040302, "E_LOW_IMPERS_LEVEL",
     "OPC Security: Server requires higher impersonation level to access secured data."},
    {0xC0040400, "E_DEADBANDNOTSET", "The item deadband has not been set for this item."},
    {0xC0040401, "E_DEADBANDNOTSUPPORTED", "The item does not support deadband."},
    {0xC0040402, "E_NOBUFFERING",
     "The server does not support buffering of data items that are collected at a faster rate "
     "than the group update rate."},
    {0xC0040403, "E_INVALIDCONTINUATIONPOINT", "The continuation point is not valid."},
    {0xC0040405, "E_RATENOTSET", "There is no sampling rate set for the specified item."},
    {0xC0040406, "E_NOTSUPPORTED",
     "The server does not support writing of quality and/or timestamp."},
    {0xC0040407, "E_STALEVALUE", "The value is time stamped older than the requested maximum age."},
    {0xC0040408, "E_WRITEONLY",
     "The item is write only and cannot be read or returned in a Write response"},
    {0xC0040409, "E_READONLY", "The value is read only and may not be written to"},
    {0xC0041001, "E_MAXEXCEEDED",
     "The maximum number of values requested exceeds the server's limit."},
    {0xC0041004, "E_INVALIDAGGREGATE", "The aggregate requested is not valid."},
    {0xC0041008, "E_UNKNOWNATTRID", "The server does not support this attribute."},
    {0xC0041009, "E_NOT_AVAIL", "The requested aggregate is not available for the specified item."},
    {0xC004100A, "E_INVALIDDATATYPE",
     "The supplied value for the attribute is not a correct data type."},
    {0xC004100B, "E_DATAEXISTS", "Unable to insert - data already present."},
    {0xC004100C, "E_INVALIDATTRID", "The supplied attribute ID is not valid."},
    {0xC004100D, "E_NODATAEXISTS", "The server has no value for the specified time and item ID."},
}};

constexpr bool SortedByCode() {
    for (std::size_t i = 1; i < OPCErrors.size(); ++i)
        if (OPCErrors[i - 1].Code >= OPCErrors[i].Code)
            return false;
    return true;
}
static_assert(SortedByCode(), "the OPC error table must be sorted by code, each code once");

const TOPCErrorRow* FindRow(HRESULT code) {
    const auto key = static_cast<std::uint32_t>(code);
    auto it =
        std::lower_bound(OPCErrors.begin(), OPCErrors.end(), key,
                         [](const TOPCErrorRow& row, std::uint32_t k) { return row.Code < k; });
    return it != OPCErrors.end() && it->Code == key ? &*it : nullptr;
}

// The system's text loses what Windows appends to it: the final full stop, blanks and
// the line break.
QString TrimSystemText(QString text) {
    while (!text.isEmpty()) {
        const QChar last = text.back();
        if (last.unicode() < 0x20 || last == u' ' || last == u'.')
            text.chop(1);
        else
            break;
    }
    return text;
}

} // namespace

QString OPCErrorText(HRESULT code) {
    const TOPCErrorRow* row = FindRow(code);
    return row && row->Text ? QString::fromLatin1(row->Text) : QString();
}

QString OPCErrorName(HRESULT code) {
    const TOPCErrorRow* row = FindRow(code);
    return row ? QString::fromLatin1(row->Name) : QStringLiteral("E_UNKNOWN");
}

void OPCCheck(HRESULT code) {
    if (SUCCEEDED(code))
        return;
    OPCRaise(code);
}

void OPCRaise(HRESULT code) {
    const QString text = OPCErrorText(code);
    if (!text.isEmpty())
        throw EOPCException(OPCErrorName(code) + u' ' + text);
    QString message = TrimSystemText(zelk::com::SystemMessageText(code));
    if (message.isEmpty())
        message = QStringLiteral("OLE error %1")
                      .arg(static_cast<std::uint32_t>(code), 8, 16, QChar(u'0'));
    throw EOleSysError(message, code);
}
