#include "MonitorTestSupport.h"

#include "OsHelpers.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

namespace zelk::monitortest {

std::unique_ptr<TZelkEvent> TRecord::MakeEvent() {
    FValues.clear();
    for (zelk::com::ComVariant& value : Attributes) {
        FValues.emplace_back();
        value.Detach(&FValues.back());
    }
    Attributes.clear();
    auto text = [](const QString& s) {
        return const_cast<LPWSTR>(reinterpret_cast<const char16_t*>(s.utf16()));
    };
    ONEVENTSTRUCT record{};
    record.wChangeMask = ChangeMask;
    record.wNewState = NewState;
    record.szSource = text(Source);
    record.ftTime = Time;
    record.szMessage = text(Message);
    record.dwEventType = EventType;
    record.dwEventCategory = Category;
    record.dwSeverity = Severity;
    record.szConditionName = text(Condition);
    record.szSubconditionName = text(Subcondition);
    record.wQuality = OPC_QUALITY_GOOD;
    record.bAckRequired = AckRequired ? TRUE : FALSE;
    record.ftActiveTime = ActiveTime;
    record.dwCookie = Cookie;
    record.dwNumEventAttrs = static_cast<DWORD>(FValues.size());
    record.pEventAttributes = FValues.empty() ? nullptr : FValues.data();
    record.szActorID = text(Actor);
    auto event = std::make_unique<TZelkEvent>(nullptr, record);
    // The event took the values; whatever it left is the sink's to release.
    for (VARIANT& value : FValues)
        VariantClear(&value);
    return event;
}

FILETIME UtcFileTime(int year, int month, int day, int hour, int minute, int second,
                     std::int64_t ticks) {
    SYSTEMTIME parts{};
    parts.wYear = static_cast<WORD>(year);
    parts.wMonth = static_cast<WORD>(month);
    parts.wDay = static_cast<WORD>(day);
    parts.wHour = static_cast<WORD>(hour);
    parts.wMinute = static_cast<WORD>(minute);
    parts.wSecond = static_cast<WORD>(second);
    FILETIME time{};
    EXPECT_TRUE(SystemTimeToFileTime(&parts, &time));
    const std::uint64_t total =
        ((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) +
        static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(total & 0xFFFFFFFFu), static_cast<DWORD>(total >> 32)};
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
