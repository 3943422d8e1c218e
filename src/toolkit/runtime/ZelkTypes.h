#pragma once

// Types shared by the toolkit's components and transports: transport and server kinds,
// the server status record and the log record.

#include "DateTime.h"
#include "EnumSet.h"
#include "Persistent.h"
#include "variant.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

namespace ZelkEnums {
Q_NAMESPACE

// Stored in one byte; the values are part of stored settings.
enum tZelkConnectionType : std::uint8_t { coXML = 0, coCOM = 1, coUA = 2 };
Q_ENUM_NS(tZelkConnectionType)

// Server kinds; member i of tZelkServerSet is bit i.
enum tZelkServerKind : std::uint8_t {
    svr_DA10,
    svr_DA20,
    svr_DA30,
    svr_AE10,
    svr_BA10,
    svr_BA20,
    svr_DX10,
    svr_HDA10,
    svr_UA
};
Q_ENUM_NS(tZelkServerKind)
} // namespace ZelkEnums

// The type names are global, the enumerators are not: write tZelkConnectionType::coCOM,
// or `using enum` in the source file that needs them unqualified.
using ZelkEnums::tZelkConnectionType;
using ZelkEnums::tZelkServerKind;

using tZelkServerSet = TEnumSet<tZelkServerKind>;

// Called once per server that a server enumerator finds.
using tZelkAddServerEvent = std::function<void(const QString& Caption, const QString& Name,
                                               const QString& ClsId, tZelkServerSet ServerType)>;

// The status of a server as the client components report it.
struct TServerStateRecord {
    TDateTime Starttime = 0;
    TDateTime Currenttime = 0;
    TDateTime LastUpdateTime = 0;
    std::int32_t ServerState = 0;
    std::int32_t GroupCount = 0;
    std::int32_t MaxValues = 0;
    std::uint32_t BandWidth = 0;
    std::int32_t MajorVersion = 0;
    std::int32_t MinorVersion = 0;
    QString BuildNumber;
    QString VendorInfo;
    QString Version;
    QString StatusInfo;
    QString _ClientHandle;
    QString ProductName;
};

// The reason text of a server's shutdown request (the payload of MSG_SERVER_SHUTDOWN when
// the transport has one).
class TZelkShutdownReason : public TObject {
public:
    explicit TZelkShutdownReason(QString AReason) : Reason(std::move(AReason)) {}
    QString Reason;
};

// One log entry that a transport delivers to its component (message MSG_LOG).
class TZelkLogMsg : public TPersistent {
public:
    TDateTime LogTime = 0;
    std::int32_t LogSeverity = 0;
    std::uint32_t LogType = 0;
    QString Msg;
    QString Detail;

    void Assign(const TPersistent* Source) override;
};

// The state names of a server: "none", "running", … for COM and XML servers; the
// UA numbering starts at "running". Any other number is "unknown".
QString ServerStateToStr(int ServerState, tZelkConnectionType Protocol);

// The text of an event attribute value: the ordinary text of a scalar; for a
// one-dimensional array its elements in index order, each followed by ";", a nested
// array enclosed in "<" and ">" instead, so [1, 2, [3, 4], 5] reads "1;2;<3;4;>5;".
// Empty for an empty or null value, and whenever the value cannot be converted (a
// two-dimensional array, for one).
QString VariantToStr(const VARIANT& V);
