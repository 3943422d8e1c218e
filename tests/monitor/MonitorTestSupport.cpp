#include "MonitorTestSupport.h"

#include "OsHelpers.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

namespace zelk::monitortest {

TRecord::TRecord() {
    Source = QStringLiteral("Plant1.TankFarm.LIC201");
    Message = QStringLiteral("Level high");
    Condition = QStringLiteral("PVLEVEL");
    Subcondition = QStringLiteral("HI");
    ChangeMask = OPC_CHANGE_ACTIVE_STATE;
    NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    Category = 300;
    Severity = 700;
    Cookie = 7;
    AckRequired = TRUE;
}

std::unique_ptr<TZelkEvent> TRecord::MakeEvent() {
    return std::make_unique<TZelkEvent>(nullptr, Record());
}

zelk::com::ComVariant StringArray(const QStringList& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < texts.size(); ++i) {
        zelk::com::BStr text(texts[i]);
        SafeArrayPutElement(array, &i, text.Get());
    }
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_BSTR;
    value.parray = array;
    zelk::com::ComVariant holder;
    holder.Attach(value);
    return holder;
}

QList<QByteArray> TProgramRun::Lines() const {
    QList<QByteArray> lines = Out.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

void StartProgram(QProcess& process, const QStringList& arguments) {
    process.setProgram(QStringLiteral(ZELK_MONITOR_EXECUTABLE));
    process.setArguments(arguments);
    process.start();
    ASSERT_TRUE(process.waitForStarted(60'000)) << process.errorString().toStdString();
}

TProgramRun RunProgram(const QStringList& arguments) {
    QProcess process;
    TProgramRun run;
    StartProgram(process, arguments);
    run.Finished = process.waitForFinished(120'000);
    if (!run.Finished)
        process.kill();
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = process.readAllStandardOutput();
    run.Err = process.readAllStandardError();
    return run;
}

QList<QJsonObject> JsonObjects(const QList<QByteArray>& lines) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : lines) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_TRUE(document.isObject())
            << error.errorString().toStdString() << ": " << line.toStdString();
        if (document.isObject())
            objects << document.object();
    }
    return objects;
}

} // namespace zelk::monitortest
