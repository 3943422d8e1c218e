#include "ExceptionMessage.h"
#include "ZelkComn.h"

#include <gtest/gtest.h>

using enum ZelkEnums::tZelkConnectionType;
using enum ZelkEnums::tZelkServerKind;

namespace {

const QString Hint = QStringLiteral("add ZelkXMLLink, ZelkCOMLink or ZelkUALink in uses clause");

std::unique_ptr<TIFRegisterClass> Entry(tZelkConnectionType kind, int* browsersMade = nullptr) {
    auto entry = std::make_unique<TIFRegisterClass>();
    entry->Connectiontype = kind;
    entry->IFGetServerNames = [](const QString& name, QString& caption, QString& clsId) {
        caption = QStringLiteral("Caption of ") + name;
        clsId = QStringLiteral("{ID}");
    };
    entry->IFCreateServerBrowser = [browsersMade]() -> ComPtr<IZelkServerBrowser> {
        if (browsersMade)
            ++*browsersMade;
        return nullptr;
    };
    return entry;
}

} // namespace

TEST(TransportRegistry, EmptyRegistryHasNoDefaultAndFindsNothing) {
    zelk::testing::TScopedConnectionRegistry scope;
    EXPECT_EQ(zelk::test::MessageOf<EOPCException>([] { DefaultConnectionType(); }),
              QStringLiteral("No default connection registered ") + Hint);
    EXPECT_EQ(FindConnectionType(coCOM, false), nullptr);
    EXPECT_FALSE(ConnectionTypeRegistered(coCOM));
    EXPECT_EQ(zelk::test::MessageOf<EOPCException>([] { FindConnectionType(coCOM, true); }),
              QStringLiteral("Connection not registered\r\n") + Hint);
}

TEST(TransportRegistry, OnlyTheFirstRegistrationOfAKindCounts) {
    zelk::testing::TScopedConnectionRegistry scope;
    int firstBrowsers = 0;
    int secondBrowsers = 0;
    ASSERT_TRUE(RegisterConnectionType(Entry(coCOM, &firstBrowsers)));
    EXPECT_FALSE(RegisterConnectionType(Entry(coCOM, &secondBrowsers)));

    EXPECT_EQ(DefaultConnectionType(), coCOM);
    EXPECT_TRUE(ConnectionTypeRegistered(coCOM));
    EXPECT_FALSE(ConnectionTypeRegistered(coXML));
    EXPECT_FALSE(ConnectionTypeRegistered(coUA));

    CreateServerBrowser(coCOM);
    EXPECT_EQ(firstBrowsers, 1);
    EXPECT_EQ(secondBrowsers, 0);

    QString caption;
    QString clsId;
    ResolveServerNames(coCOM, QStringLiteral("Sim.1"), caption, clsId);
    EXPECT_EQ(caption, QStringLiteral("Caption of Sim.1"));
    EXPECT_EQ(clsId, QStringLiteral("{ID}"));
    EXPECT_EQ(zelk::test::MessageOf<EOPCException>(
                  [&] { ResolveServerNames(coUA, QStringLiteral("x"), caption, clsId); }),
              QStringLiteral("Connection not registered\r\n") + Hint);
    EXPECT_EQ(zelk::test::MessageOf<EOPCException>([] { CreateServerBrowser(coXML); }),
              QStringLiteral("Connection not registered\r\n") + Hint);
}

TEST(TransportRegistry, DefaultIsTheFirstRegisteredAndScopesRestoreTheRegistry) {
    zelk::testing::TScopedConnectionRegistry outer;
    RegisterConnectionType(Entry(coUA));
    RegisterConnectionType(Entry(coCOM));
    EXPECT_EQ(DefaultConnectionType(), coUA);
    {
        zelk::testing::TScopedConnectionRegistry inner;
        EXPECT_FALSE(ConnectionTypeRegistered(coUA));
    }
    EXPECT_TRUE(ConnectionTypeRegistered(coUA));
    EXPECT_TRUE(ConnectionTypeRegistered(coCOM));
}

namespace {
class TTestConnection : public TZelkIntfComponent<TTestConnection, IZelkServerBrowser> {
public:
    using TZelkIntfComponent::TZelkIntfComponent;
    void Execute(tZelkServerSet, const QString&, const QString&, int,
                 const tZelkAddServerEvent& add) override {
        add(QStringLiteral("c"), QStringLiteral("n"), QStringLiteral("i"), {svr_AE10});
    }
};
} // namespace

TEST(IntfComponent, OwnerMustBeAToolkitComponent) {
    const long long liveBefore = zelk::com::LiveComObjects();
    TComponent plainOwner;
    EXPECT_EQ(zelk::test::MessageOf<EOPCException>([&] { TTestConnection::Create(&plainOwner); }),
              QStringLiteral("Owner is not inherited from TZelkComponent"));
    EXPECT_EQ(zelk::com::LiveComObjects(), liveBefore);

    auto orphan = TTestConnection::Create(nullptr);
    EXPECT_EQ(zelk::test::MessageOf<EOPCException>([&] { orphan->GetHandler(); }),
              QStringLiteral("Owner has nil value"));

    TZelkComponent owner;
    auto owned = TTestConnection::Create(&owner);
    EXPECT_EQ(owned->GetHandler(), &owner);

    // Used through its interface like any transport object.
    ComPtr<IZelkServerBrowser> browser;
    ASSERT_EQ(owned.As(&browser), S_OK);
    tZelkServerSet seen;
    browser->Execute({svr_AE10}, QString(), QString(), 0,
                     [&](const QString&, const QString&, const QString&, tZelkServerSet kinds) {
                         seen = kinds;
                     });
    EXPECT_TRUE(seen.Contains(svr_AE10));
    EXPECT_FALSE(seen.Contains(svr_DA10));
}
