#include "SimSubscriptionTestSupport.h"
#include "comholders.h"

#include <gtest/gtest.h>

using namespace zelk::aesim;
using namespace zelk::aesim::subtest;

namespace {

struct TFilterCase {
    const char* Name;
    DWORD EventType;
    std::vector<DWORD> Categories;
    DWORD Low;
    DWORD High;
    QStringList Areas;
    QStringList Sources;
    HRESULT Expected;
};

// GetFilter's answer in one record, its arrays freed.
struct TFilterAnswer {
    DWORD EventType = 0;
    std::vector<DWORD> Categories;
    DWORD Low = 0;
    DWORD High = 0;
    QStringList Areas;
    QStringList Sources;
};

TFilterAnswer GetFilter(IOPCEventSubscriptionMgt* mgt) {
    TFilterAnswer a;
    zelk::com::TaskArray<DWORD> categories;
    zelk::com::TaskArray<LPWSTR> areas;
    zelk::com::TaskArray<LPWSTR> sources;
    EXPECT_EQ(mgt->GetFilter(&a.EventType, categories.PutCount(), categories.Put(), &a.Low, &a.High,
                             areas.PutCount(), areas.Put(), sources.PutCount(), sources.Put()),
              S_OK);
    a.Categories.assign(categories.begin(), categories.end());
    for (LPWSTR area : areas)
        a.Areas << zelk::com::ToQString(area);
    for (LPWSTR source : sources)
        a.Sources << zelk::com::ToQString(source);
    return a;
}

} // namespace

TEST(SimSubscriptionFilter, SetFilterRefusesInvalidArgumentsAndKeepsTheFilter) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    ASSERT_EQ(rig.SetFilter(OPC_CONDITION_EVENT, {kLevel}, 100, 900, {"Plant1"}, {"*"}), S_OK);

    const TFilterCase cases[] = {
        {"event type 0", 0, {}, 1, 1000, {}, {}, E_INVALIDARG},
        {"event type 8", 8, {}, 1, 1000, {}, {}, E_INVALIDARG},
        {"event type 0xF", 0xF, {}, 1, 1000, {}, {}, E_INVALIDARG},
        {"high severity 0", 7, {}, 1, 0, {}, {}, E_INVALIDARG},
        {"high severity 1001", 7, {}, 1, 1001, {}, {}, E_INVALIDARG},
        {"low severity 0", 7, {}, 0, 1000, {}, {}, E_INVALIDARG},
        {"low above high", 7, {}, 501, 500, {}, {}, E_INVALIDARG},
        {"unknown category", 7, {kLevel, 99}, 1, 1000, {}, {}, E_INVALIDARG},
        {"area matching nothing", 7, {}, 1, 1000, {"Plant1", "Plant9*"}, {}, E_INVALIDARG},
        {"empty area", 7, {}, 1, 1000, {""}, {}, E_INVALIDARG},
        {"area named like a source", 7, {}, 1, 1000, {"Plant2.FIC300"}, {}, E_INVALIDARG},
        {"source matching nothing", 7, {}, 1, 1000, {}, {"Plant2.FIC3"}, E_INVALIDARG},
        {"malformed source pattern", 7, {}, 1, 1000, {}, {"Plant2.FIC[30"}, E_INVALIDARG},
        {"every type, whole range", 7, {}, 1, 1000, {}, {}, S_OK},
        {"low equals high", 1, {}, 1000, 1000, {}, {}, S_OK},
        {"wildcards that match", 7, {}, 1, 1000, {"Plant?.Tank*"}, {"*.FIC30#"}, S_OK},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rig.SetFilter(c.EventType, c.Categories, c.Low, c.High, c.Areas, c.Sources),
                  c.Expected)
            << c.Name;
        if (FAILED(c.Expected)) {
            // A refused filter leaves the last accepted one in force.
            const TFilterAnswer kept = GetFilter(rig.Mgt.Get());
            EXPECT_EQ(kept.EventType, OPC_CONDITION_EVENT) << c.Name;
            EXPECT_EQ(kept.Low, 100u) << c.Name;
        }
        ASSERT_EQ(rig.SetFilter(OPC_CONDITION_EVENT, {kLevel}, 100, 900, {"Plant1"}, {"*"}), S_OK);
    }

    // Null arrays with a count, and null names.
    EXPECT_EQ(rig.Mgt->SetFilter(7, 1, nullptr, 1, 1000, 0, nullptr, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(rig.Mgt->SetFilter(7, 0, nullptr, 1, 1000, 1, nullptr, 0, nullptr), E_INVALIDARG);
    LPWSTR nullName = nullptr;
    EXPECT_EQ(rig.Mgt->SetFilter(7, 0, nullptr, 1, 1000, 0, nullptr, 1, &nullName), E_INVALIDARG);
    EXPECT_EQ(rig.Mgt->SetFilter(7, 0, nullptr, 1, 1000, 0, nullptr, 0, nullptr), S_OK);
}

TEST(SimSubscriptionFilter, LowSeverityZeroOnlyWhereTheServerAcceptsIt) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    EXPECT_EQ(rig.SetFilter(7, {}, 0, 1000), E_INVALIDARG);
    EXPECT_EQ(rig.SetFilter(7, {}, 1, 1000), S_OK);
    rig.Server->LowZero = true;
    EXPECT_EQ(rig.SetFilter(7, {}, 0, 1000), S_OK);
    EXPECT_EQ(GetFilter(rig.Mgt.Get()).Low, 0u);

    // Every call is recorded with its arguments, refused ones too.
    const auto calls = rig.Faults.Calls("IOPCEventSubscriptionMgt::SetFilter");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Arguments, QStringLiteral("EventType=7 Categories=[] LowSeverity=0 "
                                                 "HighSeverity=1000 Areas=[] Sources=[]"));
    EXPECT_EQ(calls[1].Arguments, QStringLiteral("EventType=7 Categories=[] LowSeverity=1 "
                                                 "HighSeverity=1000 Areas=[] Sources=[]"));
}

TEST(SimSubscriptionFilter, GetFilterAnswersTheDefaultThenWhatWasSet) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    const TFilterAnswer initial = GetFilter(rig.Mgt.Get());
    EXPECT_EQ(initial.EventType, OPC_ALL_EVENTS);
    EXPECT_TRUE(initial.Categories.empty());
    EXPECT_EQ(initial.Low, 1u);
    EXPECT_EQ(initial.High, 1000u);
    EXPECT_TRUE(initial.Areas.isEmpty());
    EXPECT_TRUE(initial.Sources.isEmpty());

    ASSERT_EQ(rig.SetFilter(OPC_SIMPLE_EVENT | OPC_CONDITION_EVENT, {kLevel, kSystemMessage}, 200,
                            800, {"Plant1.TankFarm.Tank 1", "Plant2"}, {"*.FIC30[01]"}),
              S_OK);
    const TFilterAnswer set = GetFilter(rig.Mgt.Get());
    EXPECT_EQ(set.EventType, OPC_SIMPLE_EVENT | OPC_CONDITION_EVENT);
    EXPECT_EQ(set.Categories, (std::vector<DWORD>{kLevel, kSystemMessage}));
    EXPECT_EQ(set.Low, 200u);
    EXPECT_EQ(set.High, 800u);
    EXPECT_EQ(set.Areas, (QStringList{"Plant1.TankFarm.Tank 1", "Plant2"}));
    EXPECT_EQ(set.Sources, QStringList{"*.FIC30[01]"});

    DWORD value = 0;
    DWORD* array = nullptr;
    LPWSTR* names = nullptr;
    EXPECT_EQ(
        rig.Mgt->GetFilter(nullptr, &value, &array, &value, &value, &value, &names, &value, &names),
        E_POINTER);
    EXPECT_EQ(
        rig.Mgt->GetFilter(&value, &value, &array, &value, &value, &value, nullptr, &value, &names),
        E_POINTER);
}

namespace {

// Areas, sources and the messages that pass are lists separated by "|".
struct TMatchCase {
    const char* Name;
    DWORD EventType;
    std::vector<DWORD> Categories;
    DWORD Low;
    DWORD High;
    const char* Areas;
    const char* Sources;
    const char* Delivered;
};

QStringList List(const char* items) {
    return QString::fromUtf8(items).split(u'|', Qt::SkipEmptyParts);
}

// One notification of each kind the table filters.
std::vector<TSimNotification> Plant() {
    return {
        Note("Plant1.TankFarm.LIC201", kLevel, 700, "level farm"),
        Note("Plant1.TankFarm.Tank 1.LI101", kLevel, 900, "level tank"),
        Note("Plant1.Boiler.TIC7", kSystemMessage, 100, "simple boiler"),
        Note("Plant2.FIC300", kOperatorChange, 300, "tracking 300"),
        Note("Plant2.FIC301", kLevel, 1, "level 301"),
    };
}

} // namespace

TEST(SimSubscriptionFilter, NotificationsPassByTypeCategorySeverityAreaAndSource) {
    TSubLeakCheck leaks;
    const char* all = "level farm|level tank|simple boiler|tracking 300|level 301";
    // clang-format off
    const TMatchCase cases[] = {
        {"no restriction", 7, {}, 1, 1000, "", "", all},
        {"simple only", OPC_SIMPLE_EVENT, {}, 1, 1000, "", "", "simple boiler"},
        {"simple or tracking", OPC_SIMPLE_EVENT | OPC_TRACKING_EVENT, {}, 1, 1000, "", "",
         "simple boiler|tracking 300"},
        {"category list is ORed", 7, {kSystemMessage, kOperatorChange}, 1, 1000, "", "",
         "simple boiler|tracking 300"},
        {"type and category are ANDed", OPC_CONDITION_EVENT, {kSystemMessage}, 1, 1000, "", "", ""},
        {"severity bounds are inclusive", 7, {}, 300, 700, "", "", "level farm|tracking 300"},
        {"severity one", 7, {}, 1, 1, "", "", "level 301"},
        {"an area passes the sources below it", 7, {}, 1, 1000, "Plant1.TankFarm", "",
         "level farm|level tank"},
        {"innermost area", 7, {}, 1, 1000, "Plant1.TankFarm.Tank 1", "", "level tank"},
        {"area list is ORed", 7, {}, 1, 1000, "Plant1.Boiler|Plant2", "",
         "simple boiler|tracking 300|level 301"},
        {"area wildcard", 7, {}, 1, 1000, "Plant1.*", "", "level farm|level tank|simple boiler"},
        {"area wildcard on the last level", 7, {}, 1, 1000, "*.Tank #", "", "level tank"},
        {"source exact", 7, {}, 1, 1000, "", "Plant2.FIC301", "level 301"},
        {"source list", 7, {}, 1, 1000, "", "Plant2.FIC300|*.LIC*", "level farm|tracking 300"},
        {"source set", 7, {}, 1, 1000, "", "*.[FT]IC*", "simple boiler|tracking 300|level 301"},
        {"source negated set", 7, {}, 1, 1000, "", "Plant2.FIC30[!0]", "level 301"},
        {"area and source are ANDed", 7, {}, 1, 1000, "Plant1", "Plant2.*", ""},
        {"every criterion", OPC_CONDITION_EVENT, {kLevel}, 800, 1000, "Plant1", "*LI*",
         "level tank"},
    };
    // clang-format on
    for (const auto& c : cases) {
        TSubRig rig;
        ASSERT_EQ(rig.Create(), S_OK);
        ASSERT_EQ(rig.Advise(), S_OK);
        ASSERT_EQ(
            rig.SetFilter(c.EventType, c.Categories, c.Low, c.High, List(c.Areas), List(c.Sources)),
            S_OK)
            << c.Name;
        for (const auto& n : Plant())
            rig.Publish(n);
        rig.Pump(0);
        QStringList delivered;
        for (const auto& call : rig.Sink->Calls())
            for (const auto& e : call.Events)
                delivered << e.Message;
        EXPECT_EQ(delivered, List(c.Delivered)) << c.Name;
    }
}
