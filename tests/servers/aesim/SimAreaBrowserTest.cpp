#include "SimAreaBrowser.h"

#include "SimSubscriptionTestSupport.h"
#include "comholders.h"
#include "opcerror.h"

#include <gtest/gtest.h>

using namespace zelk::aesim;
using namespace zelk::aesim::subtest;

namespace {

// A browser of the fake plant, as CreateAreaBrowser hands it out.
struct TBrowserRig {
    TBrowserRig() {
        IUnknown* unknown = nullptr;
        EXPECT_EQ(CreateSimAreaBrowser(Server->GetUnknown(), *Server, Faults,
                                       IID_IOPCEventAreaBrowser, &unknown),
                  S_OK);
        Browser.Attach(static_cast<IOPCEventAreaBrowser*>(static_cast<void*>(unknown)));
    }

    // The listing at the position, and the answer of BrowseOPCAreas.
    QStringList Browse(OPCAEBROWSETYPE type, const char16_t* filter = u"",
                       HRESULT* result = nullptr) {
        ComPtr<IEnumString> names;
        const HRESULT hr = Browser->BrowseOPCAreas(type, filter, names.Put());
        if (result)
            *result = hr;
        QStringList list;
        if (!names)
            return list;
        LPOLESTR name = nullptr;
        ULONG fetched = 0;
        while (names->Next(1, &name, &fetched) == S_OK && fetched == 1) {
            list << zelk::com::ToQString(name);
            CoTaskMemFree(name);
        }
        return list;
    }

    HRESULT Qualified(bool area, const char16_t* name, QString& qualified) {
        LPWSTR text = nullptr;
        const HRESULT hr = area ? Browser->GetQualifiedAreaName(name, &text)
                                : Browser->GetQualifiedSourceName(name, &text);
        qualified = zelk::com::ToQString(text);
        CoTaskMemFree(text);
        return hr;
    }

    TSimFaults Faults;
    ComPtr<TSubFakeServer> Server = TSubFakeServer::Create();
    ComPtr<IOPCEventAreaBrowser> Browser;
};

struct TMoveCase {
    OPCAEBROWSEDIRECTION Direction;
    const char16_t* Name;
    HRESULT Expected;
    QStringList AreasAfter; // the listing of areas at the position afterwards
};

} // namespace

TEST(SimAreaBrowser, NavigationTable) {
    TSubLeakCheck leaks;
    TBrowserRig rig;
    const QStringList root{"Plant1", "Plant2"};
    const QStringList plant1{"TankFarm", "Boiler"};
    const QStringList tankFarm{"Tank 1"};
    const TMoveCase steps[] = {
        {OPCAE_BROWSE_UP, u"", E_FAIL, root},
        {OPCAE_BROWSE_DOWN, u"Plant1", S_OK, plant1},
        {OPCAE_BROWSE_DOWN, u"Plant2", OPC_E_INVALIDBRANCHNAME, plant1},
        {OPCAE_BROWSE_DOWN, u"TankFarm", S_OK, tankFarm},
        {OPCAE_BROWSE_DOWN, u"LIC201", OPC_E_INVALIDBRANCHNAME, tankFarm},
        {OPCAE_BROWSE_DOWN, u"Tank 1", S_OK, {}},
        {OPCAE_BROWSE_UP, nullptr, S_OK, tankFarm},
        {OPCAE_BROWSE_UP, u"", S_OK, plant1},
        {OPCAE_BROWSE_DOWN, u"TankFarm.Tank 1", OPC_E_INVALIDBRANCHNAME, plant1},
        {OPCAE_BROWSE_DOWN, u"", OPC_E_INVALIDBRANCHNAME, plant1},
        {OPCAE_BROWSE_DOWN, nullptr, E_INVALIDARG, plant1},
        {OPCAE_BROWSE_TO, u"", S_OK, root},
        {OPCAE_BROWSE_TO, u"Plant1.TankFarm", S_OK, tankFarm},
        {OPCAE_BROWSE_TO, u"Plant1.Nowhere", OPC_E_INVALIDBRANCHNAME, tankFarm},
        {OPCAE_BROWSE_TO, u"Plant1.TankFarm.LIC201", OPC_E_INVALIDBRANCHNAME, tankFarm},
        {OPCAE_BROWSE_TO, nullptr, S_OK, root},
        {OPCAE_BROWSE_TO, u"Plant1.TankFarm.Tank 1", S_OK, {}},
        {static_cast<OPCAEBROWSEDIRECTION>(4), u"", E_INVALIDARG, {}},
        {OPCAE_BROWSE_UP, u"", S_OK, tankFarm},
    };
    int step = 0;
    for (const auto& s : steps) {
        EXPECT_EQ(rig.Browser->ChangeBrowsePosition(s.Direction, s.Name), s.Expected)
            << "step " << step;
        EXPECT_EQ(rig.Browse(OPC_AREA), s.AreasAfter) << "step " << step;
        ++step;
    }
    EXPECT_EQ(rig.Faults.Calls("IOPCEventAreaBrowser::ChangeBrowsePosition")[1].Arguments,
              QStringLiteral("Direction=2 Name=\"Plant1\""));
}

TEST(SimAreaBrowser, BrowsesAreasAndSourcesWithAFilter) {
    TSubLeakCheck leaks;
    TBrowserRig rig;
    HRESULT hr = E_FAIL;
    EXPECT_EQ(rig.Browse(OPC_SOURCE, u"", &hr), QStringList()) << "no source at the root";
    EXPECT_EQ(hr, S_FALSE);

    ASSERT_EQ(rig.Browser->ChangeBrowsePosition(OPCAE_BROWSE_TO, u"Plant2"), S_OK);
    EXPECT_EQ(rig.Browse(OPC_SOURCE, u"", &hr), (QStringList{"FIC300", "FIC301"}));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(rig.Browse(OPC_SOURCE, nullptr, &hr), (QStringList{"FIC300", "FIC301"}));
    EXPECT_EQ(rig.Browse(OPC_SOURCE, u"*1", &hr), QStringList{"FIC301"});
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(rig.Browse(OPC_SOURCE, u"TIC*", &hr), QStringList());
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(rig.Browse(OPC_AREA, u"", &hr), QStringList());
    EXPECT_EQ(hr, S_FALSE);

    ASSERT_EQ(rig.Browser->ChangeBrowsePosition(OPCAE_BROWSE_TO, u"Plant1.TankFarm"), S_OK);
    EXPECT_EQ(rig.Browse(OPC_AREA, u"Tank ?"), QStringList{"Tank 1"});
    EXPECT_EQ(rig.Browse(OPC_SOURCE, u"LIC###"), QStringList{"LIC201"});

    // The enumerator of an empty listing is there and empty.
    ComPtr<IEnumString> names;
    EXPECT_EQ(rig.Browser->BrowseOPCAreas(OPC_SOURCE, u"x", names.Put()), S_FALSE);
    ASSERT_TRUE(names);
    LPOLESTR name = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(names->Next(1, &name, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(rig.Browser->BrowseOPCAreas(static_cast<OPCAEBROWSETYPE>(3), u"", names.Put()),
              E_INVALIDARG);
    EXPECT_EQ(rig.Browser->BrowseOPCAreas(OPC_AREA, u"", nullptr), E_POINTER);
}

TEST(SimAreaBrowser, AreasFollowFromTheNamesOfAreasAndSources) {
    TSubLeakCheck leaks;
    TBrowserRig rig;
    // "Site" and "Site.Hall" are named by nobody but lie above an area and a source.
    rig.Server->Areas = {"Site.Hall.Line A"};
    rig.Server->Sources = {"Site.Hall.Line A.M1", "Site.Yard.Gate", "Loose"};
    EXPECT_EQ(rig.Browse(OPC_AREA), QStringList{"Site"});
    EXPECT_EQ(rig.Browse(OPC_SOURCE), QStringList{"Loose"});
    ASSERT_EQ(rig.Browser->ChangeBrowsePosition(OPCAE_BROWSE_DOWN, u"Site"), S_OK);
    EXPECT_EQ(rig.Browse(OPC_AREA), (QStringList{"Hall", "Yard"}));
    ASSERT_EQ(rig.Browser->ChangeBrowsePosition(OPCAE_BROWSE_TO, u"Site.Hall.Line A"), S_OK);
    EXPECT_EQ(rig.Browse(OPC_SOURCE), QStringList{"M1"});
}

TEST(SimAreaBrowser, QualifiedNamesOfTheCurrentLevel) {
    TSubLeakCheck leaks;
    TBrowserRig rig;
    QString q;
    EXPECT_EQ(rig.Qualified(true, u"Plant1", q), S_OK);
    EXPECT_EQ(q, QStringLiteral("Plant1"));
    EXPECT_EQ(rig.Qualified(true, u"TankFarm", q), E_INVALIDARG) << "not at this level";
    EXPECT_EQ(rig.Qualified(false, u"FIC300", q), E_INVALIDARG);

    ASSERT_EQ(rig.Browser->ChangeBrowsePosition(OPCAE_BROWSE_TO, u"Plant1.TankFarm"), S_OK);
    EXPECT_EQ(rig.Qualified(true, u"Tank 1", q), S_OK);
    EXPECT_EQ(q, QStringLiteral("Plant1.TankFarm.Tank 1"));
    EXPECT_EQ(rig.Qualified(false, u"LIC201", q), S_OK);
    EXPECT_EQ(q, QStringLiteral("Plant1.TankFarm.LIC201"));
    EXPECT_EQ(rig.Qualified(false, u"Tank 1", q), E_INVALIDARG) << "an area is no source";
    EXPECT_EQ(rig.Qualified(true, u"LIC201", q), E_INVALIDARG) << "a source is no area";
    EXPECT_EQ(rig.Qualified(false, u"Tank 1.LI101", q), E_INVALIDARG) << "one level only";
    EXPECT_EQ(rig.Qualified(false, u"", q), E_INVALIDARG);
    EXPECT_EQ(rig.Qualified(false, nullptr, q), E_INVALIDARG);
    EXPECT_EQ(q, QString()) << "nothing returned on failure";
    EXPECT_EQ(rig.Browser->GetQualifiedAreaName(u"Tank 1", nullptr), E_POINTER);

    rig.Faults.InjectResult("IOPCEventAreaBrowser::GetQualifiedSourceName", E_OUTOFMEMORY);
    EXPECT_EQ(rig.Qualified(false, u"LIC201", q), E_OUTOFMEMORY);
    rig.Faults.StopAnswering();
    EXPECT_EQ(rig.Browser->ChangeBrowsePosition(OPCAE_BROWSE_UP, u""), RPC_E_DISCONNECTED);
}
