// The area browser against the simulated plant (Plant1 with three levels of areas) and
// a scripted listing: moves and the path they leave, listings with filters, qualified
// names, errors and resets.

#include "AckBrowseSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkExceptions.h"

using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;

namespace {

const QString SimProgId = QStringLiteral("Zelk.AESimulator.1");
const QString NoException = QStringLiteral("<no exception>");

class EventAreaBrowser : public ::testing::Test {
protected:
    EventAreaBrowser() { RegisterZelkCOMLink(); }
    zelk::testing::TScopedConnectionRegistry Registry;
    TLeakCheck Leaks;
};

} // namespace

TEST_F(EventAreaBrowser, MovesWalkTheTreeAndThePathFollowsThem) {
    TScopedAESimulator sim;
    const auto lastMove = [&] {
        return sim->Faults().Calls("IOPCEventAreaBrowser::ChangeBrowsePosition").back().Arguments;
    };
    TZelkEventServer server;
    server.Connect(SimProgId, QString());
    TZelkEventAreaBrowser& browser = *server.Browser();
    EXPECT_EQ(browser.OPCServer(), &server) << "attached on connect";
    EXPECT_TRUE(server.BrowserSupport());

    browser.ShowAreas();
    EXPECT_EQ(browser.Items(), QStringList{"Plant1"});
    EXPECT_TRUE(browser.MoveDown(QStringLiteral("Plant1")));
    EXPECT_TRUE(browser.MoveDown(QStringLiteral("TankFarm")));
    EXPECT_TRUE(browser.MoveDown(QStringLiteral("Tank 1")));
    EXPECT_EQ(browser.CurrentPosition(), QStringLiteral("Plant1.TankFarm.Tank 1"));
    browser.ShowSources();
    EXPECT_EQ(browser.Items(), (QStringList{"LI101", "TI102", "P101"}));
    EXPECT_FALSE(browser.MoveDown(QStringLiteral("Nowhere"))) << "refused: the path stays";
    EXPECT_EQ(browser.CurrentPath(), (QStringList{"Plant1", "TankFarm", "Tank 1"}));
    EXPECT_TRUE(browser.Moveup());
    browser.ShowAreas();
    EXPECT_EQ(browser.Items(), (QStringList{"Tank 1", "Tank 2"}));

    // Moveto splits at every dot only; the path follows even a refused move.
    EXPECT_TRUE(browser.Moveto(QStringLiteral("Plant1.Reactor Area.Reactor 1")));
    EXPECT_EQ(browser.CurrentPath(), (QStringList{"Plant1", "Reactor Area", "Reactor 1"}));
    browser.ShowSources();
    EXPECT_EQ(browser.Items(), (QStringList{"TI311", "AI312", "XV313", "M314"}));
    EXPECT_FALSE(browser.Moveto(QStringLiteral("Plant1.Tank 9, east")));
    EXPECT_EQ(browser.CurrentPath(), (QStringList{"Plant1", "Tank 9, east"}));

    EXPECT_TRUE(browser.MovetoRoot());
    EXPECT_EQ(lastMove(), QStringLiteral("Direction=3 Name=\"\"")) << "empty, not null";
    EXPECT_EQ(browser.CurrentPosition(), QString());
    EXPECT_FALSE(browser.Moveup()) << "the server refuses up at the root";
    EXPECT_EQ(lastMove(), QStringLiteral("Direction=1 Name=\"\""));
    EXPECT_TRUE(browser.CurrentPath().isEmpty());

    server.Disconnect();
    EXPECT_EQ(browser.OPCServer(), nullptr) << "detached on disconnect";
    EXPECT_EQ(MessageOf([&] { server.BrowserSupport(); }),
              QStringLiteral("Not connected to server"));
}

TEST_F(EventAreaBrowser, FiltersAndQualifiedNamesFollowTheLastListing) {
    TScopedAESimulator sim;
    TZelkEventServer server;
    server.Connect(SimProgId, QString());
    TZelkEventAreaBrowser& browser = *server.Browser();
    ASSERT_TRUE(browser.Moveto(QStringLiteral("Plant1.TankFarm")));

    // Before any listing a name is qualified as a source.
    EXPECT_EQ(browser.GetItemId(QStringLiteral("LIC201")),
              QStringLiteral("Plant1.TankFarm.LIC201"));
    EXPECT_NE(MessageOf([&] { browser.GetItemId(QStringLiteral("Tank 1")); }), NoException);
    browser.ShowAreas();
    EXPECT_EQ(browser.GetItemId(QStringLiteral("Tank 1")),
              QStringLiteral("Plant1.TankFarm.Tank 1"));

    browser.SetFilter(QStringLiteral("*2"));
    EXPECT_EQ(browser.Count(), 2) << "the filter counts from the next listing";
    browser.ShowSources();
    EXPECT_EQ(browser.Items(), QStringList{"LIC202"});
    EXPECT_EQ(sim->Faults().Calls("IOPCEventAreaBrowser::BrowseOPCAreas").back().Arguments,
              QStringLiteral("Type=2 Filter=\"*2\""));

    // A failing listing leaves no items and the kind of the listing before it.
    sim->Faults().InjectResult("IOPCEventAreaBrowser::BrowseOPCAreas", E_FAIL);
    EXPECT_NE(MessageOf([&] { browser.ShowAreas(); }), NoException);
    EXPECT_EQ(browser.Count(), 0);
    EXPECT_EQ(browser.GetItemId(QStringLiteral("LIC202")),
              QStringLiteral("Plant1.TankFarm.LIC202"));
    server.Disconnect();
}

TEST_F(EventAreaBrowser, ErrorsAndResetsOfTheServerAndItsBrowserObject) {
    TZelkEventAreaBrowser own;
    EXPECT_THROW(own.MovetoRoot(), EOPCException);
    EXPECT_EQ(MessageOf([&] { own.GetItemId(QStringLiteral("X")); }),
              QStringLiteral("first define server object"));

    zelk::aesim::TSimClassOptions options;
    options.Capabilities.AreaBrowser = false;
    TScopedAESimulator sim(options);
    TZelkEventServer server;
    server.Connect(SimProgId, QString());
    EXPECT_FALSE(server.BrowserSupport());
    EXPECT_THROW(server.Browser()->ShowAreas(), EOPCBrowserException);
    EXPECT_EQ(MessageOf([&] { server.Browser()->Moveup(); }),
              QStringLiteral("Browser interface not found"));
    server.Disconnect();

    TScopedAESimulator good;
    server.Connect(SimProgId, QString());
    TZelkEventAreaBrowser& browser = *server.Browser();
    good->Faults().InjectResult("IOPCEventServer::CreateAreaBrowser", E_NOINTERFACE);
    EXPECT_NE(MessageOf([&] { browser.ShowAreas(); }), NoException);
    ASSERT_TRUE(browser.Moveto(QStringLiteral("Plant1.TankFarm"))) << "asked again";
    browser.ShowAreas();
    // The same server again: path, listing and the server's browser object start anew,
    // so the next listing is the root's.
    browser.SetOPCServer(&server);
    EXPECT_TRUE(browser.CurrentPath().isEmpty());
    EXPECT_EQ(browser.Count(), 0);
    browser.ShowAreas();
    EXPECT_EQ(browser.Items(), QStringList{"Plant1"});

    // A browser forgets an event server that is destroyed.
    {
        TZelkEventServer other;
        other.Connect(SimProgId, QString());
        own.SetOPCServer(&other);
        own.ShowAreas();
    }
    EXPECT_EQ(own.OPCServer(), nullptr);
    EXPECT_EQ(own.Count(), 0);
    server.Disconnect();
}

namespace {
class EventAreaBrowserListing : public AETest {};
} // namespace

TEST_F(EventAreaBrowserListing, BatchesAreReadToTheEndOrToTheFirstEmptyName) {
    TLeakCheck leaks;
    QStringList names;
    for (int i = 0; i < 250; ++i)
        names << QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0'));
    auto fake = TScriptedEventServer::Make();
    fake->BrowserListing = names;
    TAckTestServer server(fake);
    server.SetActive(true);
    TZelkEventAreaBrowser& browser = *server.Browser();
    browser.ShowSources();
    EXPECT_EQ(browser.Items(), names) << "batches of 100, 100 and 50";

    // An empty name ends the listing; the names after it are freed unread.
    fake->BrowserListing->replace(150, QString());
    browser.SetOPCServer(&server);
    // Filter is published, so the text form stores it.
    EXPECT_TRUE(browser.setProperty("Filter", QStringLiteral("S*")));
    browser.ShowSources();
    EXPECT_EQ(browser.Items(), names.mid(0, 150));
    server.SetActive(false);
}
