#pragma once

// Shared pieces of the monitor suite: notifications as a server hands them to a sink,
// and the monitor program run as a child process.

#include "OpcNotification.h"
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

// A condition notification of a level alarm; tests change what they are about.
struct TRecord : zelk::test::TNotification {
    TRecord();
    // A new event of no server built from the record, as a subscription's sink builds it.
    std::unique_ptr<TZelkEvent> MakeEvent();
};

using zelk::test::UtcFileTime;

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
