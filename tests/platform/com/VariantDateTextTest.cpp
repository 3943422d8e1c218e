#include "VariantTestSupport.h"
#include "varianttext.h"

#include <cmath>

using namespace variant_test;
using zelk::com::detail::EndDate;
using zelk::com::detail::MinDate;

TEST_F(VariantText, WritesDatesAsShortDateAndLongTime) {
    DefaultLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
    const DATE afternoon = DateOf(QDate(2024, 3, 1), QTime(15, 4, 5));
    const ComVariant date = Make(VT_DATE, [&](VARIANT& v) { v.date = afternoon; });
    EXPECT_EQ(AsText(date), QStringLiteral("3/1/2024 3:04:05 PM"))
        << "no time zone: a DATE has none";
    EXPECT_EQ(
        AsText(Make(VT_DATE, [](VARIANT& v) { v.date = DateOf(QDate(2024, 3, 1), QTime(0, 0)); })),
        QStringLiteral("3/1/2024"))
        << "midnight shows the date alone";
    EXPECT_EQ(AsText(Make(VT_DATE, [](VARIANT& v) { v.date = 0.5; })),
              QStringLiteral("12:00:00 PM"))
        << "day 0 shows the time alone";
    EXPECT_EQ(AsText(Make(VT_DATE, [](VARIANT& v) { v.date = 0.0; })),
              QStringLiteral("12:00:00 AM"));
    EXPECT_EQ(AsText(Make(VT_DATE, [](VARIANT& v) { v.date = -1.25; })),
              QStringLiteral("12/29/1899 6:00:00 AM"))
        << "before day 0 the fraction still counts from midnight";
    EXPECT_EQ(AsText(Make(VT_DATE, [](VARIANT& v) { v.date = 1e7; })),
              QStringLiteral("hr=8002000a"));

    ComVariant back;
    ASSERT_EQ(ChangeTo(Text(AsText(date)), VT_DATE, back), S_OK);
    EXPECT_NEAR(back.Value().date, afternoon, 1e-9) << "the text reads back";
    ASSERT_EQ(ChangeTo(Text(QStringLiteral("2024-03-01T15:04:05")), VT_DATE, back), S_OK);
    EXPECT_NEAR(back.Value().date, afternoon, 1e-9);

    DefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(AsText(date), QStringLiteral("01.03.2024 15:04:05"));
    EXPECT_EQ(AsText(Real(1234.5)), QStringLiteral("1234.5")) << "numbers keep the dot";
}

TEST_F(VariantText, DatesKeepTheirCenturyAndEveryTextReadsBack) {
    DefaultLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto dateText = [](QDate day) {
        return AsText(Make(VT_DATE, [&](VARIANT& v) { v.date = DateOf(day, QTime(0, 0)); }));
    };
    EXPECT_EQ(dateText(QDate(1899, 12, 31)), QStringLiteral("12/31/1899"));
    EXPECT_EQ(dateText(QDate(2050, 1, 1)), QStringLiteral("1/1/2050"));
    EXPECT_EQ(dateText(QDate(9999, 12, 31)), QStringLiteral("12/31/9999"));

    // Across the whole DATE range, before and after day 0, with and without a time.
    for (const QLocale& locale :
         {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German)}) {
        DefaultLocale current(locale);
        for (double date = MinDate; date < EndDate; date += 9973.37) {
            for (const double value :
                 {std::trunc(date), date, std::fabs(date - std::trunc(date))}) {
                const QString text = AsText(Make(VT_DATE, [&](VARIANT& v) { v.date = value; }));
                ComVariant back;
                ASSERT_EQ(ChangeTo(Text(text), VT_DATE, back), S_OK) << text.toStdString();
                EXPECT_NEAR(back.Value().date, value, 0.6 / 86'400) << text.toStdString();
            }
        }
    }
}

TEST_F(VariantConversion, ReadsTheDateTextsWindowsReadsAndNoOthers) {
    DefaultLocale english(QLocale(QLocale::English, QLocale::UnitedStates));
    const struct {
        const char* text;
        DATE date;
    } read[] = {{"3/15/2023 6:00:00 PM", DateOf(QDate(2023, 3, 15), QTime(18, 0))},
                {"12/31/9999", DateOf(QDate(9999, 12, 31), QTime(0, 0))},
                {"0:00:00", 0.0},
                {"13:30", DateOf(QDate(1899, 12, 30), QTime(13, 30))},
                {"3/1/24", DateOf(QDate(2024, 3, 1), QTime(0, 0))},
                {"2024-03-01 15:04:05", DateOf(QDate(2024, 3, 1), QTime(15, 4, 5))}};
    for (const auto& r : read) {
        ComVariant back;
        ASSERT_EQ(ChangeTo(Text(QLatin1String(r.text)), VT_DATE, back), S_OK) << r.text;
        EXPECT_NEAR(back.Value().date, r.date, 1e-9) << r.text;
    }
    for (const char* refused : {"12", "24:00:00", "3/15/2023 24:00:00", "2024-03-01T24:00:00",
                                "13/1/2023", "3/15/2023 6:00:00 PM x", ""}) {
        ComVariant back;
        EXPECT_EQ(ChangeTo(Text(QLatin1String(refused)), VT_DATE, back), DISP_E_TYPEMISMATCH)
            << refused;
    }
}
