#pragma once

// The private records of TSimPlant, shared by its source files.

#include "SimPlant.h"
#include "opc_ae.h"

namespace zelk::aesim {

// The severity a condition reports before it was ever active (enable and disable reports);
// once active, it keeps the severity of its latest sub-condition.
inline constexpr DWORD SimNormalSeverity = 100;

struct TSimPlant::TReport {
    WORD State = OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED;
    DWORD Severity = SimNormalSeverity;
    QString SubCondition;
    QString Message;
    double Value = 0.0;
    double SetPoint = 0.0;
    QString AckComment;
};

struct TSimPlant::TCondition {
    int Source = 0;
    int Definition = 0;
    bool AckRequired = true;
    bool Active = false;
    bool Acked = true;
    // Set by direct control: the process value no longer moves the condition until the
    // control returns it to normal or sets the value.
    bool Forced = false;
    int Sub = -1; // the active sub-condition, or the last active one while inactive
    DWORD Cookie = 0;
    FILETIME ActiveTime{};
    FILETIME SubCondLastActive{};
    FILETIME CondLastActive{};
    FILETIME CondLastInactive{};
    FILETIME LastAckTime{};
    FILETIME LastChange{};
    QString LastActor;
    bool EverAcked = false;
    QString Acknowledger;
    QString AckerComment; // the comment of the last acknowledgement, ever
    QString AckComment;   // the "ACK COMMENT" attribute: the comment of this activation
    QString Message;
    DWORD Severity = SimNormalSeverity;
    TReport Last;
};

struct TSimPlant::TSourceState {
    double Value = 0.0;
    double SetPoint = 0.0;
    bool Disabled = false;
    zelk::com::ComVariant Areas; // VT_ARRAY | VT_BSTR, built once
    QStringList AreaNames;
    std::vector<std::size_t> Conditions; // indexes into FConditions
};

} // namespace zelk::aesim
