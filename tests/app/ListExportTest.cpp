// Export of the alarm list: the two file forms byte for byte, the rows exported, and a
// write that fails.

#include "Exceptions.h"
#include "MainWindowTestSupport.h"
#include "ZelkListExport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

using namespace zelk::apptest;

namespace {

// 2024-03-01 12:00:00.1234567 UTC and 11:59:00 UTC on the FILETIME scale.
constexpr std::uint64_t Noon = 133537680001234567ULL;
constexpr std::uint64_t Minute = 60ULL * 10'000'000ULL;

FILETIME Ft(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

TZelkEventRecord TrickyRecord() {
    TZelkEventRecord r;
    r.EventType = OPC_CONDITION_EVENT;
    r.CategoryId = 300;
    r.CategoryName = QStringLiteral("Level");
    r.Source = QStringLiteral("Plant1.Tank, \"A\"");
    r.Condition = QStringLiteral("PVLEVEL");
    r.SubCondition = QStringLiteral("HI");
    r.ChangeMask = 3;
    r.NewState = 3;
    r.Severity = 700;
    r.Quality = 192;
    r.AckRequired = true;
    r.Actor = QString();
    r.Message = QStringLiteral("Füllstand hoch\nzweite Zeile");
    r.Cookie = 42;
    r.Time = Ft(Noon);
    r.ActiveTime = Ft(Noon - Minute - 1234567);
    r.AttributesJson = "{\"CV\":87.5,\"AREAS\":[\"Plant1\"]}";
    return r;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ListExport, CsvAndJsonLinesAreWrittenByteForByte) {
    std::string csv;
    AppendCsvHeader(csv);
    AppendCsvRow(csv, TrickyRecord());
    EXPECT_EQ(csv, "eventType,eventTypeCode,categoryId,categoryName,source,condition,subCondition,"
                   "changeMask,newState,severity,quality,ackRequired,actor,message,cookie,time,"
                   "activeTime,activeTimeRaw,attributes\r\n"
                   "condition,4,300,Level,\"Plant1.Tank, \"\"A\"\"\",PVLEVEL,HI,3,3,700,192,true,,"
                   "\"F\xC3\xBCllstand hoch\nzweite Zeile\",42,2024-03-01T12:00:00.1234567Z,"
                   "2024-03-01T11:59:00.0000000Z,133537679400000000,"
                   "\"{\"\"CV\"\":87.5,\"\"AREAS\"\":[\"\"Plant1\"\"]}\"\r\n");

    QTemporaryDir folder;
    const QString jsonl = folder.filePath(QStringLiteral("alarms.jsonl"));
    ASSERT_EQ(ExportFormatOfFile(jsonl), TExportFormat::JsonLines);
    ASSERT_TRUE(ExportRecords(jsonl, TExportFormat::JsonLines, {TrickyRecord()}));
    EXPECT_EQ(ReadAll(jsonl).toStdString(),
              "{\"eventType\":\"condition\",\"eventTypeCode\":4,\"categoryId\":300,"
              "\"categoryName\":\"Level\",\"source\":\"Plant1.Tank, \\\"A\\\"\","
              "\"condition\":\"PVLEVEL\",\"subCondition\":\"HI\",\"changeMask\":3,"
              "\"newState\":3,\"severity\":700,\"quality\":192,\"ackRequired\":true,"
              "\"actor\":\"\",\"message\":\"F\xC3\xBCllstand hoch\\nzweite Zeile\","
              "\"cookie\":42,\"time\":\"2024-03-01T12:00:00.1234567Z\","
              "\"activeTime\":\"2024-03-01T11:59:00.0000000Z\","
              "\"activeTimeRaw\":133537679400000000,"
              "\"attributes\":{\"CV\":87.5,\"AREAS\":[\"Plant1\"]}}\n");
}

TEST(ListExport, AFailedOrCancelledExportLeavesNoFile) {
    QTemporaryDir folder;
    const QString missing = folder.filePath(QStringLiteral("no/such/folder/alarms.csv"));
    try {
        ExportRecords(missing, TExportFormat::Csv, {TrickyRecord()});
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot write \""))) << e.what();
        EXPECT_GT(e.Message().size(), missing.size() + 16) << "with the system's reason";
    }
    const QString cancelled = folder.filePath(QStringLiteral("cancelled.csv"));
    std::vector<TZelkEventRecord> many(5000, TrickyRecord());
    EXPECT_FALSE(ExportRecords(cancelled, TExportFormat::Csv, many, [](int) { return false; }));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList());
}

TEST_F(MainWindowTest, ExportWritesTheRowsShownInTheirOrder) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->FireSimpleEvent(LIC201, 100, QStringLiteral("a, \"quoted\" message")));
    ASSERT_TRUE((*FSim)->FireSimpleEvent(LIC202, 100, QStringLiteral("second\nline")));
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(3));
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("list.csv"));
    FWindow->ExportFileQuery = [&] { return file; };
    FWindow->findChild<QAction*>(QStringLiteral("ExportList1"))->trigger();
    ASSERT_TRUE(FShown.isEmpty()) << FShown.join(QLatin1Char(' ')).toStdString();
    std::string expected;
    AppendCsvHeader(expected);
    for (int row = 0; row < 3; ++row)
        AppendCsvRow(expected, TZelkEventRecord::FromEvent(*FWindow->EventOfItem(row)));
    EXPECT_EQ(ReadAll(file).toStdString(), expected);
    EXPECT_NE(expected.find("\"a, \"\"quoted\"\" message\""), std::string::npos);

    // With Find active only the rows shown go out.
    FWindow->SetFindText(QStringLiteral("TIC301"));
    const QString found = folder.filePath(QStringLiteral("found.jsonl"));
    ASSERT_TRUE(FWindow->ExportList(found));
    const QByteArray lines = ReadAll(found);
    EXPECT_EQ(lines.count('\n'), 1);
    EXPECT_TRUE(lines.contains("\"source\":\"Plant1.Reactor Area.TIC301\""));
}
