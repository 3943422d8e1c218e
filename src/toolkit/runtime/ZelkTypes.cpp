#include "ZelkTypes.h"

#include <array>

using enum ZelkEnums::tZelkConnectionType;

void TZelkLogMsg::Assign(const TPersistent* Source) {
    if (auto* log = dynamic_cast<const TZelkLogMsg*>(Source)) {
        LogTime = log->LogTime;
        LogSeverity = log->LogSeverity;
        LogType = log->LogType;
        Msg = log->Msg;
        Detail = log->Detail;
        return;
    }
    TPersistent::Assign(Source);
}

QString ServerStateToStr(int ServerState, tZelkConnectionType Protocol) {
    static constexpr std::array<const char*, 7> UAStates{
        "running", "failed", "no config", "suspended", "shutdown", "test", "commFault"};
    static constexpr std::array<const char*, 7> OPCStates{
        "none", "running", "failed", "no config", "suspended", "test", "commFault"};
    if (ServerState < 0 || ServerState > 6)
        return QStringLiteral("unknown");
    switch (Protocol) {
    case coUA:
        return QString::fromLatin1(UAStates[ServerState]);
    case coXML:
    case coCOM:
        return QString::fromLatin1(OPCStates[ServerState]);
    }
    return QStringLiteral("unknown");
}
