// The COM server enumerator with an enumerator double of its own and with the
// simulator's OPCEnum stand-in.

#include "COMTestSupport.h"

#include <gtest/gtest.h>

using enum ZelkEnums::tZelkConnectionType;
using enum ZelkEnums::tZelkServerKind;

using namespace zelk::com;
using namespace zelk::test;
using namespace Qt::StringLiterals;
using zelk::aesim::TScopedAESimulator;
using zelk::aesim::TSimClassOptions;

namespace {

constexpr CLSID CLSID_Alpha = ZelkGuid("4E6F1A23-8B7C-4D2E-9A1F-3C5D7E9F0B01");
constexpr CLSID CLSID_Beta = ZelkGuid("4E6F1A23-8B7C-4D2E-9A1F-3C5D7E9F0B02");
constexpr CLSID CLSID_Gamma = ZelkGuid("4E6F1A23-8B7C-4D2E-9A1F-3C5D7E9F0B03");
const QString AlphaText = QStringLiteral("{4E6F1A23-8B7C-4D2E-9A1F-3C5D7E9F0B01}");
const QString BetaText = QStringLiteral("{4E6F1A23-8B7C-4D2E-9A1F-3C5D7E9F0B02}");
const QString GammaText = QStringLiteral("{4E6F1A23-8B7C-4D2E-9A1F-3C5D7E9F0B03}");
const QString SimProgId = u"Zelk.AESimulator.1"_s;
const QString SimClassId = u"{5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}"_s;
const QString SimCaption = u"Zelk OPC AE Simulation Server"_s;

class COMServerBrowser : public TCOMTest {
protected:
    // Runs one enumeration and returns its reports; only this suite's classes count,
    // whatever else the process has registered.
    QStringList Browse(tZelkServerSet kinds, int options, const QString& computer = {}) {
        QStringList reports;
        auto browser = TZelkCOMServerBrowser::Create();
        browser->Execute(kinds, computer, {}, options,
                         [&](const QString& caption, const QString& name, const QString& clsId,
                             tZelkServerSet kind) {
                             if (clsId == AlphaText || clsId == BetaText || clsId == GammaText ||
                                 clsId == SimClassId)
                                 reports.append(ReportText(caption, name, clsId, kind));
                         });
        return reports;
    }

    static constexpr int WithTypes = BrowseWithTypes;
};

TListedServer Listed(REFCLSID clsid, const char* progId, std::vector<CATID> categories) {
    return {clsid, QString::fromLatin1(progId), QString::fromLatin1(progId) + u" server"_s,
            std::move(categories), false};
}

} // namespace

TEST_F(COMServerBrowser, WithTypesEachKindIsWalkedInTableOrder) {
    TTestServerListClass opcEnum;
    opcEnum.Script->Servers = {
        Listed(CLSID_Alpha, "Alpha.1", {CATID_OPCDAServer20, CATID_OPCDAServer30}),
        Listed(CLSID_Beta, "Beta.1", {CATID_OPCAEServer10})};
    EXPECT_EQ(Browse({svr_DA20, svr_DA30}, WithTypes),
              (QStringList{ReportText(u"Alpha.1 server"_s, u"Alpha.1"_s, AlphaText, {svr_DA20}),
                           ReportText(u"Alpha.1 server"_s, u"Alpha.1"_s, AlphaText, {svr_DA30})}));
    opcEnum.Script->Queries.clear();
    EXPECT_EQ(Browse({svr_AE10, svr_DA10}, WithTypes),
              QStringList{ReportText(u"Beta.1 server"_s, u"Beta.1"_s, BetaText, {svr_AE10})});
    EXPECT_EQ(opcEnum.Script->Queries, (QStringList{u"List2 DA10"_s, u"List2 AE10"_s}));

    // No category for UA: the enumerator is made, nothing is asked or reported.
    opcEnum.Script->Queries.clear();
    const int creations = opcEnum.Script->Creations;
    EXPECT_TRUE(Browse({svr_UA}, WithTypes).isEmpty());
    EXPECT_EQ(opcEnum.Script->Creations, creations + 1);
    EXPECT_TRUE(opcEnum.Script->Queries.isEmpty());
    // An empty set does not even make the enumerator.
    EXPECT_TRUE(Browse({}, WithTypes).isEmpty());
    EXPECT_EQ(opcEnum.Script->Creations, creations + 1);
}

TEST_F(COMServerBrowser, WithoutTypesOneQueryReportsNoKinds) {
    TTestServerListClass opcEnum;
    opcEnum.Script->List2 = false; // an older enumerator
    opcEnum.Script->Servers = {
        Listed(CLSID_Alpha, "Alpha.1", {CATID_OPCDAServer20, CATID_OPCDAServer30}),
        Listed(CLSID_Beta, "Beta.1", {CATID_OPCAEServer10}),
        Listed(CLSID_Gamma, "Gamma.1", {CATID_OPCHDAServer10})};
    EXPECT_EQ(Browse({svr_AE10, svr_DA30, svr_DA20, svr_UA}, 0),
              (QStringList{ReportText(u"Alpha.1 server"_s, u"Alpha.1"_s, AlphaText, {}),
                           ReportText(u"Beta.1 server"_s, u"Beta.1"_s, BetaText, {})}));
    EXPECT_EQ(opcEnum.Script->Queries, QStringList{u"List1 DA20 DA30 AE10"_s});
}

TEST_F(COMServerBrowser, OneBadServerDoesNotHideTheOthers) {
    TTestServerListClass opcEnum;
    opcEnum.Script->Servers = {Listed(CLSID_Alpha, "Alpha.1", {CATID_OPCAEServer10}),
                               Listed(CLSID_Beta, "Beta.1", {CATID_OPCAEServer10}),
                               Listed(CLSID_Gamma, "Gamma.1", {CATID_OPCAEServer10})};
    opcEnum.Script->Servers[0].DetailsFail = true;
    QStringList reports;
    auto browser = TZelkCOMServerBrowser::Create();
    browser->Execute({svr_AE10}, {}, {}, WithTypes,
                     [&](const QString&, const QString& name, const QString&, tZelkServerSet) {
                         if (name == u"Beta.1"_s)
                             throw EOPCException(QStringLiteral("callback failed"));
                         reports.append(name);
                     });
    EXPECT_EQ(reports, QStringList{u"Gamma.1"_s});

    opcEnum.Script->EnumResult = E_ACCESSDENIED;
    EXPECT_THROW(Browse({svr_AE10}, WithTypes), EOleSysError);
}

TEST_F(COMServerBrowser, WithoutOPCEnumLocalServersComeFromTheCategoriesWithKinds) {
    // A description far beyond 127 characters is read whole.
    TSimClassOptions options;
    options.Description = u"Zelk OPC AE Simulation Server for the tank farm "_s.repeated(5);
    TScopedAESimulator sim(options, {}, false);
    ScopedClassRegistration alpha(BareClass(CLSID_Alpha, u"Alpha.1"_s, u"Alpha"_s,
                                            {CATID_OPCDAServer20, CATID_OPCAEServer10}));
    EXPECT_EQ(Browse({svr_AE10, svr_DA20}, 0),
              (QStringList{ReportText(u"Alpha"_s, u"Alpha.1"_s, AlphaText, {svr_DA20}),
                           ReportText(options.Description, SimProgId, SimClassId, {svr_AE10}),
                           ReportText(u"Alpha"_s, u"Alpha.1"_s, AlphaText, {svr_AE10})}));

    // A local enumerator without either list interface is passed over the same way.
    {
        TTestServerListClass useless;
        useless.Script->List1 = useless.Script->List2 = false;
        EXPECT_EQ(Browse({svr_AE10}, 0).size(), 2);
    }
    // A class without ProgID ends the enumeration; what came before stays reported.
    ScopedClassRegistration nameless(
        BareClass(CLSID_Gamma, QString(), u"Gamma"_s, {CATID_OPCAEServer10}));
    QStringList reports;
    auto browser = TZelkCOMServerBrowser::Create();
    EXPECT_THROW(browser->Execute({svr_AE10}, {}, {}, 0,
                                  [&](const QString&, const QString& name, const QString&,
                                      tZelkServerSet) { reports.append(name); }),
                 EOleSysError);
    EXPECT_TRUE(reports.contains(u"Alpha.1"_s));
}

TEST_F(COMServerBrowser, RemoteComputersNeedTheirOPCEnum) {
    {
        TTestServerListClass remoteEnum(Plant.Registry());
        remoteEnum.Script->Servers = {Listed(CLSID_Alpha, "Alpha.1", {CATID_OPCAEServer10})};
        remoteEnum.Script->List1 = remoteEnum.Script->List2 = false;
        try {
            Browse({svr_AE10}, WithTypes, u"PLANTPC"_s);
            FAIL() << "no exception";
        } catch (const EOPCServerListException& e) {
            EXPECT_EQ(e.Message(), u"Error: interface IOPCServerList not found"_s);
        }
    }
    // An unreachable computer, and one without OPCEnum, fail before anything is reported.
    TScopedAESimulator remote(TSimClassOptions(), u"PLANTPC"_s, false);
    try {
        Browse({svr_AE10}, WithTypes, u"PLANTPC"_s);
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), REGDB_E_CLASSNOTREG);
    }
    try {
        Browse({svr_AE10}, WithTypes, u"NOWHERE"_s);
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.ErrorCode()), 0x800706BAu);
        EXPECT_EQ(e.Message(), u"The RPC server is unavailable"_s);
    }
}

TEST_F(COMServerBrowser, ServerListComponentListsTheSimulator) {
    TZelkServerBrowser browser;
    browser.SetServertype({svr_AE10, svr_DA20});
    {
        TScopedAESimulator sim;
        for (bool withTypes : {true, false}) {
            browser.Execute(withTypes);
            const int index = browser.FindServer(SimProgId);
            ASSERT_GE(index, 0);
            EXPECT_EQ(browser.FindServer(SimClassId), index);
            EXPECT_EQ(browser.Items(index)->ServerCaption(), SimCaption);
            EXPECT_EQ(browser.Items(index)->ServerType(),
                      withTypes ? tZelkServerSet{svr_AE10} : tZelkServerSet{});
        }
    }
    {
        TScopedAESimulator remote(TSimClassOptions(), u"PLANTPC"_s);
        browser.GetOPCServers(u"PLANTPC"_s);
        ASSERT_EQ(browser.Count(), 1);
        EXPECT_EQ(browser.Items(0)->Computername(), u"PLANTPC"_s);
        EXPECT_EQ(browser.Items(0)->ServerClsId(), SimClassId);
        EXPECT_EQ(browser.Items(0)->ServerType(), tZelkServerSet{svr_AE10});
    }
}

TEST(COMLink, RegistersTheCOMTransportOnce) {
    zelk::testing::TScopedConnectionRegistry empty;
    RegisterZelkCOMLink();
    RegisterZelkCOMLink();
    EXPECT_EQ(DefaultConnectionType(), coCOM);
    EXPECT_FALSE(ConnectionTypeRegistered(coUA));
    TIFRegisterClass* entry = FindConnectionType(coCOM, true);
    EXPECT_TRUE(CreateServerBrowser(coCOM));
    QString caption;
    QString clsId;
    ResolveServerNames(coCOM, u"No.Such.Server"_s, caption, clsId);
    EXPECT_EQ(caption, u"No.Such.Server"_s);
    try {
        entry->IFCreateDAServer(nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const EOPCException& e) {
        EXPECT_EQ(e.Message(), u"Data Access is not supported"_s);
    }
    EXPECT_THROW(entry->IFCreateGroup(nullptr), EOPCException);
    EXPECT_THROW(entry->IFCreateBrowser(nullptr), EOPCException);
}
