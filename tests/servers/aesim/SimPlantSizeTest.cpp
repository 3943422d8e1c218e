// Generated plants: the layout for a size and seed, the default plant left as it is, and a
// large plant served through COM (browsing, direct control) and flooded whole.

#include "SimServerTestSupport.h"

#include <QSet>

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

QStringList SourceNames(const TSimPlantModel& model) {
    QStringList names;
    for (const TSimSourceDef& source : model.Sources)
        names << source.Name;
    return names;
}

int ConditionCount(const TSimPlantModel& model) {
    int count = 0;
    for (const TSimSourceDef& source : model.Sources)
        count += static_cast<int>(source.Conditions.size());
    return count;
}

} // namespace

TEST(SimPlantSize, SameSizeAndSeedSameLayout) {
    const TSimPlantModel plant = GeneratedPlantModel(2'000, 8'000, 1);
    ASSERT_EQ(plant.Areas.size(), 2'000);
    ASSERT_EQ(plant.Sources.size(), 8'000u);
    EXPECT_GE(ConditionCount(plant), 10'000) << "enough distinct conditions for a flood";

    const TSimPlantModel again = GeneratedPlantModel(2'000, 8'000, 1);
    EXPECT_EQ(again.Areas, plant.Areas);
    EXPECT_EQ(SourceNames(again), SourceNames(plant));
    const TSimPlantModel otherSeed = GeneratedPlantModel(2'000, 8'000, 2);
    EXPECT_NE(SourceNames(otherSeed), SourceNames(plant));

    // A tree: every parent listed before its children, at most five levels, unique names.
    QSet<QString> seen;
    int deepest = 0;
    for (const QString& area : plant.Areas) {
        const qsizetype dot = area.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0) {
            EXPECT_TRUE(seen.contains(area.left(dot))) << area.toStdString();
        }
        EXPECT_FALSE(seen.contains(area)) << area.toStdString();
        seen.insert(area);
        deepest = std::max(deepest, static_cast<int>(area.count(QLatin1Char('.'))) + 1);
    }
    EXPECT_LE(deepest, 5);
    EXPECT_GE(deepest, 4);
    const QStringList sources = SourceNames(plant);
    EXPECT_EQ(QSet<QString>(sources.begin(), sources.end()).size(), 8'000);
    for (const TSimSourceDef& source : plant.Sources) {
        EXPECT_TRUE(plant.HasArea(source.Area));
        EXPECT_FALSE(source.Conditions.empty());
    }
    EXPECT_EQ(plant.FindSource(plant.Sources[4'321].Name), 4'321);
    EXPECT_EQ(plant.FindSource(S("Plant1.Nowhere")), -1);

    // The counts are kept within reach: no plant without an area or a source.
    const TSimPlantModel tiny = GeneratedPlantModel(0, -5, 1);
    EXPECT_EQ(tiny.Areas, QStringList{S("Plant1")});
    EXPECT_EQ(tiny.Sources.size(), 1u);
}

TEST(SimPlantSize, DefaultSizeKeepsTheDefaultPlant) {
    TSrvLeakCheck leaks;
    TScopedAESimulator sim;
    const TSimPlantModel expected = DefaultPlantModel();
    EXPECT_EQ(sim->Plant().Areas, expected.Areas);
    EXPECT_EQ(SourceNames(sim->Plant()), SourceNames(expected));
    EXPECT_EQ(sim->Plant().Areas.first(), S("Plant1"));
    EXPECT_EQ(sim->Plant().FindSource(S("Plant1.TankFarm.LIC201")), 1);
}

TEST(SimPlantSize, LargePlantIsServedWhole) {
    TSrvLeakCheck leaks;
    TSimClassOptions options;
    options.PlantSize = {.Areas = 3'000, .Sources = 10'000};
    TSrvRig rig(options);
    const TSimPlantModel& plant = rig.Sim->Plant();
    ASSERT_EQ(plant.Areas.size(), 3'000);

    // The browser lists the generated root areas and finds a deep one.
    ComPtr<IOPCEventAreaBrowser> browser;
    ASSERT_EQ(rig.Server->CreateAreaBrowser(IID_IOPCEventAreaBrowser,
                                            reinterpret_cast<IUnknown**>(browser.Put())),
              S_OK);
    ComPtr<IEnumString> roots;
    ASSERT_EQ(browser->BrowseOPCAreas(OPC_AREA, nullptr, roots.Put()), S_OK);
    QStringList rootNames;
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    while (roots->Next(1, &name, &fetched) == S_OK && fetched == 1) {
        rootNames << zelk::com::ToQString(name);
        CoTaskMemFree(name);
    }
    EXPECT_EQ(rootNames, (QStringList{S("Plant1"), S("Plant2"), S("Plant3"), S("Plant4"),
                                      S("Plant5"), S("Plant6")}));
    const QString deep = plant.Areas.last();
    EXPECT_EQ(
        browser->ChangeBrowsePosition(OPCAE_BROWSE_TO, reinterpret_cast<LPCWSTR>(deep.utf16())),
        S_OK);

    // A generated source is controlled by name like a source of the default plant.
    const TSimSourceDef& source = plant.Sources[9'999];
    const QString condition =
        plant.Conditions[static_cast<std::size_t>(source.Conditions[0].Definition)].Name;
    ASSERT_TRUE(rig.Sim->Activate(source.Name, condition));
    const std::vector<TRecordedEvent> events = rig.Sink->Take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Source, source.Name);

    // A flood pass over the plant makes every condition live at once.
    TSimClock clock(true);
    TSimPlant flooded(GeneratedPlantModel(3'000, 10'000, 1), 1, clock);
    TSimNotifications out;
    flooded.Flood(ConditionCount(plant) * 10 / 9 + 10, out);
    QSet<QString> live;
    for (const TSimNotification& n : out)
        if (n.EventType == OPC_CONDITION_EVENT && (n.NewState & OPC_CONDITION_ACTIVE))
            live.insert(n.Source + u'/' + n.ConditionName);
    EXPECT_EQ(live.size(), ConditionCount(plant));
    EXPECT_GE(live.size(), 10'000);
}
