#pragma once

// Shared pieces of the monitor suite: notifications as a server hands them to a sink,
// and the monitor program run as a child process.

#include "ZelkEvent.h"
#include "comholders.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <vector>

namespace zelk::monitortest {

// One ONEVENTSTRUCT with its texts and attribute values, owned here until an event
// takes the values.
struct TRecord {
    QString Source = QStringLiteral("Plant1.TankFarm.LIC201");
    QString Message = QStringLiteral("Level high");
    QString Condition = QStringLiteral("PVLEVEL");
    QString Subcondition = QStringLiteral("HI");
    QString Actor;
    WORD ChangeMask = OPC_CHANGE_ACTIVE_STATE;
    WORD NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    DWORD EventType = OPC_CONDITION_EVENT;
    DWORD Category = 300;
    DWORD Severity = 700;
    DWORD Cookie = 7;
    bool AckRequired = true;
    FILETIME Time{};
    FILETIME ActiveTime{};
    std::vector<zelk::com::ComVariant> Attributes;

    // A new event of no server built from the record, as a subscription's sink builds it.
    std::unique_ptr<TZelkEvent> MakeEvent();

private:
    std::vector<VARIANT> FValues;
};

// FILETIME of a UTC calendar time plus `ticks` hundred-nanosecond ticks.
FILETIME UtcFileTime(int year, int month, int day, int hour, int minute, int second,
                     std::int64_t ticks = 0);

// A VT_ARRAY | VT_BSTR value of `texts`.
zelk::com::ComVariant StringArray(const QStringList& texts);

struct TProgramRun {
    bool Finished = false;
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;
    // Standard output split into lines, the empty last one dropped.
    QList<QByteArray> Lines() const;
};

// Runs the monitor program with `arguments` to its end (two minutes at most).
TProgramRun RunProgram(const QStringList& arguments);
// Starts it without waiting; QT_QPA_PLATFORM and the like are inherited.
void StartProgram(QProcess& process, const QStringList& arguments);

// Every line as a JSON object; a line that is not one fails the test and is skipped.
QList<QJsonObject> JsonObjects(const QList<QByteArray>& lines);

} // namespace zelk::monitortest
