#include "AETestSupport.h"

#include <QMetaProperty>
#include <random>

using namespace zelk::aetest;
using zelk::com::ComVariant;

namespace {

class EventSort : public AETest {};

QStringList SourcesInView(const TZelkEvents& list) {
    QStringList sources;
    for (int i = 0; i < list.Count(); ++i)
        sources << list.Events(i)->Source();
    return sources;
}

void AddSample(TTestEventServer& server) {
    struct TSample {
        const char* Source;
        WORD State;
        int Hour;
        DWORD Severity;
    };
    const WORD active = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    const WORD inactive = OPC_CONDITION_ENABLED;
    for (const TSample& s : {TSample{"valve", inactive, 9, 300}, TSample{"Boiler", active, 8, 900},
                             TSample{"pump", active, 11, 100}, TSample{"Tank", inactive, 12, 500},
                             TSample{"mixer", active, 10, 700}})
        server.Events()->AddEvent(NewEvent(&server, QString::fromLatin1(s.Source), QString(),
                                           s.State, UtcFileTime(2024, 5, 1, s.Hour, 0, 0),
                                           s.Severity));
}

} // namespace

TEST_F(EventSort, SortLinesBecomeSortItems) {
    TTestEventServer server;
    TZelkEvents& list = *server.Events();
    EXPECT_EQ(server.EventlistSort(),
              (QStringList{QStringLiteral("Active (D)"), QStringLiteral("Time (D)")}));
    ASSERT_EQ(list.SortItemCount(), 2);
    EXPECT_EQ(list.SortItems(1).PropName, QStringLiteral("Time"));
    EXPECT_TRUE(list.SortItems(1).Desc);
    EXPECT_EQ(list.SortItems(1).PropType, pkDateTime);
    EXPECT_EQ(list.SortItems(0).PropType, pkBoolean);
    EXPECT_EQ(list.SortItems(0).SortProc, &SortByValue);

    server.SetEventlistSort(
        {QStringLiteral("source (D)"), QStringLiteral("Severity"), QStringLiteral("none")});
    ASSERT_EQ(list.SortItemCount(), 2) << "none adds nothing";
    EXPECT_EQ(list.SortItems(0).PropName, QStringLiteral("source")) << "as written";
    EXPECT_EQ(list.SortItems(0).PropType, pkText);
    EXPECT_EQ(list.SortItems(0).SortProc, &SortByText);
    EXPECT_FALSE(list.SortItems(1).Desc);
    EXPECT_EQ(list.SortItems(1).PropType, pkInteger);
    EXPECT_EQ(server.EventlistSort().size(), 3);

    for (const QStringList& lines : {QStringList(), QStringList{QStringLiteral("none")}}) {
        server.SetEventlistSort(lines);
        EXPECT_EQ(list.SortItemCount(), 0);
        EXPECT_EQ(server.EventlistSort(), QStringList{QStringLiteral("none")});
    }
    EXPECT_EQ(MessageOf([&] { list.AddSortItem(QStringLiteral("CategoryName"), false); }),
              QStringLiteral("Property CategoryName does not exist"))
        << "public but not published";
}

TEST_F(EventSort, AnUnknownNameRaisesAndKeepsTheItemsBeforeIt) {
    TTestEventServer server;
    int brackets = 0;
    server.OnBeginUpdate = [&](TComponent*) { ++brackets; };
    const QStringList lines{QStringLiteral("Severity"), QStringLiteral("Time(D)"),
                            QStringLiteral("Source")};
    EXPECT_EQ(MessageOf([&] { server.SetEventlistSort(lines); }),
              QStringLiteral("Property Tim does not exist"));
    EXPECT_THROW(server.SetEventlistSort(lines), EPropertyError);
    EXPECT_EQ(server.Events()->SortItemCount(), 1);
    EXPECT_EQ(server.Events()->SortItems(0).PropName, QStringLiteral("Severity"));
    EXPECT_EQ(server.EventlistSort(), lines);
    EXPECT_EQ(brackets, 0) << "no Resort";
    EXPECT_EQ(MessageOf([&] { server.SetEventlistSort({QStringLiteral("(D)")}); }),
              QStringLiteral("Property  does not exist"));
}

TEST_F(EventSort, SortKeysOrderTheView) {
    TTestEventServer server;
    AddSample(server);
    TZelkEvents& list = *server.Events();
    EXPECT_EQ(list.Count(), 0) << "added events wait for the next Resort";
    server.Resort();
    EXPECT_EQ(SourcesInView(list), (QStringList{"pump", "mixer", "Boiler", "Tank", "valve"}))
        << "active first, newest first within each group";

    server.SetEventlistSort({QStringLiteral("Severity")});
    EXPECT_EQ(SourcesInView(list), (QStringList{"pump", "valve", "Tank", "mixer", "Boiler"}));
    server.SetEventlistSort({QStringLiteral("Severity (D)")});
    EXPECT_EQ(SourcesInView(list), (QStringList{"Boiler", "mixer", "Tank", "valve", "pump"}));
    server.SetEventlistSort({QStringLiteral("source (D)")});
    EXPECT_EQ(SourcesInView(list), (QStringList{"valve", "Tank", "pump", "mixer", "Boiler"}))
        << "texts by the locale, not by code point";

    server.ClearSortItems();
    EXPECT_EQ(SourcesInView(list), (QStringList{"Boiler", "mixer", "pump", "Tank", "valve"}))
        << "without sort items the key order shows at once";
    list.DeleteEvents();
}

TEST_F(EventSort, ComparatorsFollowVariantRules) {
    const ComVariant two(LONG(2));
    const ComVariant ten(10.0);
    const ComVariant no(QStringLiteral("False"));
    const ComVariant yes(QStringLiteral("True"));
    EXPECT_EQ(SortByValue(two.Value(), ten.Value(), false), -1) << "numbers by value";
    EXPECT_EQ(SortByValue(two.Value(), ten.Value(), true), 1);
    EXPECT_EQ(SortByValue(ten.Value(), ComVariant(LONG(10)).Value(), false), 0);
    EXPECT_EQ(SortByValue(no.Value(), yes.Value(), false), -1) << "false before true";
    EXPECT_EQ(SortByValue(yes.Value(), no.Value(), true), -1);

    const ComVariant lower(QStringLiteral("a"));
    const ComVariant upper(QStringLiteral("A"));
    const ComVariant b(QStringLiteral("B"));
    EXPECT_LT(SortByText(lower.Value(), b.Value(), false), 0) << "a before B in the locale";
    EXPECT_GT(SortByText(lower.Value(), b.Value(), true), 0);
    EXPECT_LT(SortByText(lower.Value(), upper.Value(), false), 0) << "case counts, lower first";
    EXPECT_EQ(SortByText(upper.Value(), upper.Value(), false), 0);
}

TEST_F(EventSort, TypedSortGivesTheOrderOfCompareEvents) {
    TTestEventServer server;
    TZelkEvents& list = *server.Events();
    std::mt19937 random(7);
    const QStringList sources{"tank", "Tank", "TANK", "pump", "Pump", "valve", "Äpfel", "apfel"};
    for (int i = 0; i < 400; ++i) {
        const QString source =
            sources[static_cast<qsizetype>(random() % sources.size())] + QString::number(i);
        const auto state = static_cast<WORD>(random() % 8);
        // Few distinct times and severities, so later keys decide often; some times are 0.
        const FILETIME time =
            random() % 5 == 0 ? FILETIME{} : UtcFileTime(2024, 1, 1, int(random() % 3), 0, 0);
        list.AddEvent(NewEvent(&server, source, QString(), state, time, random() % 4 * 250));
    }
    const QList<QStringList> configurations = {
        {"Active (D)", "Time (D)"},
        {"Severity", "Acknowledged", "Source (D)"},
        {"Source"},
        {"Time", "Enabled (D)", "Severity (D)", "Key"},
        {"ID (D)"},
        {"Msg", "Severity"},
    };
    for (const QStringList& lines : configurations) {
        server.SetEventlistSort(lines);
        ASSERT_EQ(list.Count(), 400);
        for (int i = 1; i < list.Count(); ++i) {
            const int r = list.CompareEvents(list.Events(i - 1), list.Events(i));
            ASSERT_LE(r, 0) << lines.join(u',').toStdString() << " at " << i;
            if (r == 0) { // ties keep the key order
                int before = -1;
                int after = -1;
                list.Find(list.Events(i - 1)->Key(), before);
                list.Find(list.Events(i)->Key(), after);
                ASSERT_LT(before, after);
            }
        }
    }
    list.DeleteEvents();
}

TEST_F(EventSort, PublishedPropertiesAreTheSortableOnes) {
    const QMetaObject& meta = TZelkEvent::staticMetaObject;
    const std::vector<TZelkEventProperty>& table = EventProperties();
    ASSERT_EQ(static_cast<std::size_t>(meta.propertyCount()), table.size());
    for (int i = 0; i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const TZelkEventProperty& entry = table[static_cast<std::size_t>(i)];
        EXPECT_STREQ(property.name(), entry.Name);
        const TZelkPropKind expected = property.typeId() == QMetaType::Bool     ? pkBoolean
                                       : property.typeId() == QMetaType::Double ? pkDateTime
                                       : property.typeId() == QMetaType::Int    ? pkInteger
                                                                                : pkText;
        EXPECT_EQ(entry.Kind, expected) << entry.Name;
        EXPECT_EQ(property.isWritable(), QByteArray(entry.Name) == "Key") << entry.Name;
    }
    EXPECT_EQ(FindEventProperty(QStringLiteral("SEVERITY")),
              FindEventProperty(QStringLiteral("Severity")));
    EXPECT_EQ(FindEventProperty(QStringLiteral("Tag")), nullptr);
    EXPECT_EQ(FindEventProperty(QStringLiteral("IsConditionEvent")), nullptr);
}

TEST_F(EventSort, ServerResortRunsInsideOneBracket) {
    TTestEventServer server;
    QStringList calls;
    server.OnBeginUpdate = [&](TComponent*) { calls << QStringLiteral("begin"); };
    server.OnEndUpdate = [&](TComponent*) {
        calls << QStringLiteral("end %1").arg(server.Events()->Count());
    };
    AddSample(server);
    server.BeginUpdate();
    server.Resort();
    server.SetEventlistSort({QStringLiteral("Severity")});
    EXPECT_EQ(calls, QStringList{QStringLiteral("begin")});
    server.EndUpdate();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("begin"), QStringLiteral("end 5")}));
    server.Events()->DeleteEvents();
}
