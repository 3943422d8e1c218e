#include "MonitorFormat.h"

#include "MonitorTestSupport.h"
#include "TestSupport.h"
#include "ZelkJsonText.h"
#include "ZelkTimeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <cmath>
#include <gtest/gtest.h>

using namespace zelk::monitor;
using namespace zelk::ae;
using namespace zelk::monitortest;

namespace {

QJsonObject JsonLineOf(TZelkEvent& event, std::string* raw = nullptr) {
    std::string line;
    AppendJsonLine(line, event);
    if (raw)
        *raw = line;
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per notification";
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

// The JSON text of one value, wrapped so that scalars parse too.
QJsonValue JsonOf(const VARIANT& value) {
    std::string text = "[";
    AppendJsonVariant(text, value);
    text += "]";
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    EXPECT_TRUE(document.isArray()) << text;
    return document.array().at(0);
}

std::string RawJsonOf(const VARIANT& value) {
    std::string text;
    AppendJsonVariant(text, value);
    return text;
}

} // namespace

TEST(MonitorFormat, JsonLineCarriesEveryFieldOfTheRecord) {
    // A zone with a half-hour offset: the times must stay UTC, exact to 100 ns.
    const zelk::test::TTimeZoneScope zone("Asia/Kolkata");
    TRecord record;
    record.Time = UtcFileTime(2024, 3, 1, 12, 0, 0, 1234567);
    record.ActiveTime = UtcFileTime(2024, 3, 1, 11, 59, 58, 9876543);
    record.Actor = QStringLiteral("OPERATOR1");
    record.AddAttribute(StringArray({QStringLiteral("Plant1"), QStringLiteral("Plant1.TankFarm")}));
    record.AddAttribute(zelk::com::ComVariant(QStringLiteral("checked")));
    record.AddAttribute(zelk::com::ComVariant(81.25));
    record.AddAttribute(zelk::com::ComVariant(LONG{90}));
    record.AddAttribute(zelk::com::ComVariant());
    const std::unique_ptr<TZelkEvent> event = record.MakeEvent();

    std::string raw;
    const QJsonObject json = JsonLineOf(*event, &raw);
    EXPECT_EQ(json.value(QStringLiteral("eventType")).toString(), QStringLiteral("condition"));
    EXPECT_EQ(json.value(QStringLiteral("eventTypeCode")).toInt(), 4);
    EXPECT_EQ(json.value(QStringLiteral("categoryId")).toInt(), 300);
    EXPECT_TRUE(json.value(QStringLiteral("categoryName")).isString());
    EXPECT_EQ(json.value(QStringLiteral("source")).toString(),
              QStringLiteral("Plant1.TankFarm.LIC201"));
    EXPECT_EQ(json.value(QStringLiteral("condition")).toString(), QStringLiteral("PVLEVEL"));
    EXPECT_EQ(json.value(QStringLiteral("subCondition")).toString(), QStringLiteral("HI"));
    EXPECT_EQ(json.value(QStringLiteral("changeMask")).toInt(), OPC_CHANGE_ACTIVE_STATE);
    EXPECT_EQ(json.value(QStringLiteral("newState")).toInt(), 3);
    EXPECT_EQ(json.value(QStringLiteral("severity")).toInt(), 700);
    EXPECT_EQ(json.value(QStringLiteral("quality")).toInt(), OPC_QUALITY_GOOD);
    EXPECT_EQ(json.value(QStringLiteral("ackRequired")).toBool(false), true);
    EXPECT_EQ(json.value(QStringLiteral("actor")).toString(), QStringLiteral("OPERATOR1"));
    EXPECT_EQ(json.value(QStringLiteral("message")).toString(), QStringLiteral("Level high"));
    EXPECT_EQ(json.value(QStringLiteral("cookie")).toInt(), 7);
    EXPECT_EQ(json.value(QStringLiteral("time")).toString(),
              QStringLiteral("2024-03-01T12:00:00.1234567Z"));
    EXPECT_EQ(json.value(QStringLiteral("activeTime")).toString(),
              QStringLiteral("2024-03-01T11:59:58.9876543Z"));
    // Beyond a double's 53 bits: the digits themselves must be exact.
    EXPECT_NE(
        raw.find("\"activeTimeRaw\":" + std::to_string(FileTimeTicks(record.ActiveTime)) + ","),
        std::string::npos)
        << raw;

    // Without a server the names are unknown: positions stand in for them.
    const QJsonObject attributes = json.value(QStringLiteral("attributes")).toObject();
    EXPECT_EQ(attributes.value(QStringLiteral("#0")).toArray(),
              (QJsonArray{QStringLiteral("Plant1"), QStringLiteral("Plant1.TankFarm")}));
    EXPECT_EQ(attributes.value(QStringLiteral("#1")).toString(), QStringLiteral("checked"));
    EXPECT_EQ(attributes.value(QStringLiteral("#2")).toDouble(), 81.25);
    EXPECT_EQ(attributes.value(QStringLiteral("#3")).toInt(), 90);
    EXPECT_TRUE(attributes.value(QStringLiteral("#4")).isNull());
}

TEST(MonitorFormat, JsonLineWritesMissingTimesAsNullAndTheRawValueAsReceived) {
    TRecord record;
    record.EventType = OPC_SIMPLE_EVENT;
    record.Cookie = 0xFFFFFFFFu;
    const std::unique_ptr<TZelkEvent> event = record.MakeEvent();
    const QJsonObject json = JsonLineOf(*event);
    EXPECT_EQ(json.value(QStringLiteral("eventType")).toString(), QStringLiteral("simple"));
    EXPECT_TRUE(json.value(QStringLiteral("time")).isNull());
    EXPECT_TRUE(json.value(QStringLiteral("activeTime")).isNull());
    EXPECT_EQ(json.value(QStringLiteral("activeTimeRaw")).toInt(-1), 0);
    EXPECT_EQ(json.value(QStringLiteral("cookie")).toDouble(), 4294967295.0)
        << "a DWORD cookie is not a negative number";
    EXPECT_TRUE(json.value(QStringLiteral("attributes")).toObject().isEmpty());
}

TEST(MonitorFormat, JsonStringsSurviveQuotesControlsAndSurrogates) {
    const QString text = QStringLiteral("say \"hi\"\\ tab\t nl\n bell") + QChar(7) +
                         QStringLiteral(" \u00e9\u20ac ") + QString::fromUcs4(U"\U0001F525");
    std::string out;
    AppendJsonString(out, text);
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString("[" + out + "]"));
    ASSERT_TRUE(document.isArray()) << out;
    EXPECT_EQ(document.array().at(0).toString(), text);
    EXPECT_EQ(out.find('\n'), std::string::npos);

    // A lone surrogate has no UTF-8 form: it becomes the replacement character.
    out.clear();
    AppendJsonString(out, QString(QChar(0xD800)) + QLatin1Char('x'));
    EXPECT_EQ(out, "\"\xEF\xBF\xBDx\"");
}

TEST(MonitorFormat, VariantsBecomeTheirJsonKinds) {
    zelk::com::ComVariant value;
    EXPECT_EQ(RawJsonOf(value.Value()), "null");
    value.Get()->vt = VT_NULL;
    EXPECT_EQ(RawJsonOf(value.Value()), "null");
    EXPECT_EQ(RawJsonOf(zelk::com::ComVariant(true).Value()), "true");
    EXPECT_EQ(RawJsonOf(zelk::com::ComVariant(std::nan("")).Value()), "null");
    EXPECT_EQ(RawJsonOf(zelk::com::ComVariant(0.1).Value()), "0.1");

    VARIANT scalar;
    VariantInit(&scalar);
    scalar.vt = VT_CY;
    scalar.cyVal.int64 = -123450; // -12.345
    EXPECT_EQ(RawJsonOf(scalar), "-12.345");
    scalar.cyVal.int64 = 70000;
    EXPECT_EQ(RawJsonOf(scalar), "7");
    scalar.vt = VT_UI8;
    scalar.ullVal = 18446744073709551615ull;
    EXPECT_EQ(RawJsonOf(scalar), "18446744073709551615");
    scalar.vt = VT_I1;
    scalar.cVal = -5;
    EXPECT_EQ(RawJsonOf(scalar), "-5");
    scalar.vt = VT_DATE;
    scalar.date = 45352.5; // 2024-03-01 12:00 local
    EXPECT_EQ(RawJsonOf(scalar), "\"2024-03-01T12:00:00.000\"");

    // A value by reference is written as what it points to.
    double target = 2.5;
    scalar.vt = VT_R8 | VT_BYREF;
    scalar.pdblVal = &target;
    EXPECT_EQ(JsonOf(scalar).toDouble(), 2.5);
}

TEST(MonitorFormat, ArraysOfAnyShapeBecomeNestedJsonArrays) {
    // Two dimensions, 2 x 3: the first dimension is the outer array.
    const SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    for (LONG row = 0; row < 2; ++row)
        for (LONG column = 1; column <= 3; ++column) {
            const LONG index[2] = {row, column};
            LONG cell = row * 10 + column;
            SafeArrayPutElement(grid, index, &cell);
        }
    zelk::com::ComVariant matrix;
    matrix.Get()->vt = VT_ARRAY | VT_I4;
    matrix.Get()->parray = grid;
    EXPECT_EQ(RawJsonOf(matrix.Value()), "[[1,2,3],[11,12,13]]");

    // Variants holding mixed kinds, one of them an array itself.
    SAFEARRAY* mixed = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    zelk::com::ComVariant text(QStringLiteral("a\"b"));
    zelk::com::ComVariant inner = StringArray({QStringLiteral("x")});
    zelk::com::ComVariant number(LONG{-3});
    LONG i = 0;
    SafeArrayPutElement(mixed, &i, text.Get());
    i = 1;
    SafeArrayPutElement(mixed, &i, inner.Get());
    i = 2;
    SafeArrayPutElement(mixed, &i, number.Get());
    zelk::com::ComVariant list;
    list.Get()->vt = VT_ARRAY | VT_VARIANT;
    list.Get()->parray = mixed;
    EXPECT_EQ(RawJsonOf(list.Value()), "[\"a\\\"b\",[\"x\"],-3]");

    zelk::com::ComVariant empty = StringArray({});
    EXPECT_EQ(RawJsonOf(empty.Value()), "[]");
}

TEST(MonitorFormat, TextLineIsOneAlignedLineThatCannotSteerTheTerminal) {
    const zelk::test::TTimeZoneScope zone("UTC");
    TRecord record;
    record.Time = UtcFileTime(2024, 3, 1, 12, 0, 0, 1234567);
    record.NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED;
    record.Message = QStringLiteral("Level\nhigh \x1b[31mred");
    std::string line;
    AppendTextLine(line, *record.MakeEvent());
    EXPECT_EQ(line, "2024-03-01 12:00:00.123  --- ACK ENA   700  Plant1.TankFarm.LIC201            "
                    "PVLEVEL/HI            Level high  [31mred\n");

    // The columns line up whatever the lengths; a simple event has no state and no
    // condition, and no blanks are left at the end of a line without a message.
    TRecord simple;
    simple.EventType = OPC_SIMPLE_EVENT;
    simple.NewState = 0;
    simple.Condition.clear();
    simple.Subcondition.clear();
    simple.Message.clear();
    simple.Severity = 5;
    simple.Time = record.Time;
    line.clear();
    AppendTextLine(line, *simple.MakeEvent());
    EXPECT_EQ(line, "2024-03-01 12:00:00.123  --- --- ---     5  Plant1.TankFarm.LIC201\n");
}

TEST(MonitorFormat, TimeStampsKeepEveryTickAndRefuseWhatNamesNoTime) {
    std::string out;
    ASSERT_TRUE(AppendIsoUtc(out, static_cast<std::int64_t>(FileTimeTicks(
                                      UtcFileTime(1999, 12, 31, 23, 59, 59, 9999999)))));
    EXPECT_EQ(out, "1999-12-31T23:59:59.9999999Z");
    out.clear();
    EXPECT_FALSE(AppendIsoUtc(out, -1));
    EXPECT_TRUE(out.empty());

    EXPECT_FALSE(DateTimeTicks(0).has_value()) << "0 means no time";
    EXPECT_FALSE(DateTimeTicks(std::nan("")).has_value());
    // Before day 0 the fraction still counts forward: -1.25 is 1899-12-29 06:00.
    const std::optional<std::int64_t> early = DateTimeTicks(-1.25);
    ASSERT_TRUE(early.has_value());
    out.clear();
    AppendLocalMSecs(out, *early);
    EXPECT_EQ(out, "1899-12-29 06:00:00.000");
}
