#include "TextForm.h"
#include "ZelkComn.h"

#include <gtest/gtest.h>

using enum ZelkEnums::tZelkConnectionType;
using enum ZelkEnums::tZelkServerKind;

using namespace Qt::StringLiterals;

namespace {

struct TReport {
    QString Caption;
    QString Name;
    QString ClsId;
    tZelkServerSet Kind;
};

// What the scripted enumerators of one test report and were asked.
struct TBrowseScript {
    std::vector<TReport> Reports;
    bool FailAtEnd = false;
    QStringList Calls;
};

class TScriptedBrowser : public TZelkIntfComponent<TScriptedBrowser, IZelkServerBrowser> {
public:
    explicit TScriptedBrowser(TBrowseScript& script)
        : TZelkIntfComponent(nullptr), FScript(script) {}

    void Execute(tZelkServerSet Servertype, const QString& Computer, const QString& Proxy,
                 int Options, const tZelkAddServerEvent& AddServerEvent) override {
        FScript.Calls.append(QStringLiteral("%1|%2|%3|%4")
                                 .arg(Servertype.ToBits())
                                 .arg(Computer, Proxy)
                                 .arg(Options));
        for (const TReport& report : FScript.Reports)
            AddServerEvent(report.Caption, report.Name, report.ClsId, report.Kind);
        if (FScript.FailAtEnd)
            throw EOPCServerListException(QStringLiteral("enumerator failed"));
    }

private:
    TBrowseScript& FScript;
};

class ServerList : public ::testing::Test {
protected:
    ServerList() {
        auto entry = std::make_unique<TIFRegisterClass>();
        entry->Connectiontype = coCOM;
        entry->IFCreateServerBrowser = [this]() -> ComPtr<IZelkServerBrowser> {
            return TScriptedBrowser::Create(Script);
        };
        RegisterConnectionType(std::move(entry));
    }

    zelk::testing::TScopedConnectionRegistry Registry;
    TBrowseScript Script;
    TZelkServerBrowser Browser;
};

} // namespace

TEST_F(ServerList, ReportsOfOneClassMergeIntoOneItem) {
    Script.Reports = {{u"Alpha"_s, u"Alpha.1"_s, u"{A}"_s, {svr_DA20}},
                      {u"Beta"_s, u"Beta.1"_s, u"{B}"_s, {svr_AE10}},
                      {u"Alpha again"_s, u"Alpha.2"_s, u"{A}"_s, {svr_DA30}},
                      {u"First nameless"_s, u"X.1"_s, QString(), {}},
                      {u"Second nameless"_s, u"Y.1"_s, QString(), {svr_HDA10}}};
    Browser.SetComputerName(u"PLANTPC"_s);
    Browser.SetProxyUA(u"proxy"_s);
    Browser.SetServertype({svr_AE10, svr_DA20});
    Browser.Execute(true);
    EXPECT_EQ(Script.Calls, QStringList{u"10|PLANTPC|proxy|2"_s});
    ASSERT_EQ(Browser.Count(), 3);
    const TZelkServerItem* alpha = Browser.Items(0);
    EXPECT_EQ(alpha->ServerCaption(), u"Alpha"_s);
    EXPECT_EQ(alpha->ServerName(), u"Alpha.1"_s);
    EXPECT_EQ(alpha->Computername(), u"PLANTPC"_s);
    EXPECT_EQ(alpha->ServerType(), (tZelkServerSet{svr_DA20, svr_DA30}));
    EXPECT_EQ(alpha->Tag(), 0);
    EXPECT_EQ(Browser.Items(2)->ServerName(), u"X.1"_s);
    EXPECT_EQ(Browser.Items(2)->ServerType(), tZelkServerSet{svr_HDA10});

    QStringList lines{u"old"_s};
    Browser.GetServerCaptions(lines);
    EXPECT_EQ(lines, (QStringList{u"Alpha"_s, u"Beta"_s, u"First nameless"_s}));
    Browser.GetServerNames(lines);
    EXPECT_EQ(lines, (QStringList{u"Alpha.1"_s, u"Beta.1"_s, u"X.1"_s}));
    Browser.GetServerClsIds(lines);
    EXPECT_EQ(lines, (QStringList{u"{A}"_s, u"{B}"_s, QString()}));

    // A new run replaces the list; without types the options say so.
    Script.Reports.resize(1);
    Browser.GetOPCServers(u"OTHERPC"_s);
    Browser.Execute(false);
    EXPECT_EQ(Script.Calls.last(), u"10|OTHERPC|proxy|0"_s);
    EXPECT_EQ(Browser.Count(), 1);
    EXPECT_EQ(Browser.Items(0)->Computername(), u"OTHERPC"_s);
}

TEST_F(ServerList, LookupsAreExactAndPreferTheServerName) {
    Script.Reports = {{u"One"_s, u"Tricky"_s, u"{1}"_s, {}},
                      {u"Two"_s, u"Two.1"_s, u"Tricky.Two"_s, {}},
                      {u"Three"_s, u"Three.1"_s, u"Two.1"_s, {}}};
    Browser.Execute(false);
    EXPECT_EQ(Browser.FindByServerName(u"Two.1"_s), 1);
    EXPECT_EQ(Browser.FindByServerName(u"two.1"_s), -1);
    EXPECT_EQ(Browser.FindByClassId(u"Two.1"_s), 2);
    EXPECT_EQ(Browser.FindServer(u"Two.1"_s), 1);
    EXPECT_EQ(Browser.FindServer(u"Tricky.Two"_s), 1);
    EXPECT_EQ(Browser.FindServer(u"Nothing"_s), -1);
    EXPECT_THROW(Browser.Items(3), EListError);
    EXPECT_THROW(Browser.Items(-1), EListError);

    auto replacement = std::make_unique<TZelkServerItem>();
    replacement->SetTag(7);
    std::unique_ptr<TZelkServerItem> previous = Browser.SetItems(0, std::move(replacement));
    EXPECT_EQ(previous->ServerName(), u"Tricky"_s);
    EXPECT_EQ(Browser.Items(0)->Tag(), 7);
}

TEST_F(ServerList, EnumeratorWalksTheListOnce) {
    auto empty = Browser.GetEnumerator();
    EXPECT_FALSE(empty->MoveNext());
    Script.Reports = {{u"A"_s, u"A.1"_s, u"{A}"_s, {}}, {u"B"_s, u"B.1"_s, u"{B}"_s, {}}};
    Browser.Execute(false);
    QStringList names;
    auto walk = Browser.GetEnumerator();
    while (walk->MoveNext())
        names.append(walk->Current()->ServerName());
    EXPECT_EQ(names, (QStringList{u"A.1"_s, u"B.1"_s}));
    EXPECT_FALSE(walk->MoveNext());
    EXPECT_EQ(walk->Current()->ServerName(), u"B.1"_s);
}

TEST_F(ServerList, FailuresKeepWhatWasReported) {
    Script.Reports = {{u"A"_s, u"A.1"_s, u"{A}"_s, {}}};
    Script.FailAtEnd = true;
    EXPECT_THROW(Browser.Execute(true), EOPCServerListException);
    EXPECT_EQ(Browser.Count(), 1);

    // An unregistered transport fails before the list is touched.
    EXPECT_EQ(Browser.Protocol(), coCOM);
    try {
        Browser.SetProtocol(coUA);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), u"Protocol not supported add ZelkXMLLink, ZelkCOMLink or "
                               u"ZelkUALink in uses clause"_s);
    }
    EXPECT_EQ(Browser.Protocol(), coCOM);
    EXPECT_EQ(Browser.Count(), 1);
}

TEST_F(ServerList, ProtocolResetsTheKindsAtDesignTimeOnly) {
    auto ua = std::make_unique<TIFRegisterClass>();
    ua->Connectiontype = coUA;
    RegisterConnectionType(std::move(ua));
    Browser.SetServertype({svr_AE10});
    Browser.SetProtocol(coUA);
    EXPECT_EQ(Browser.Servertype(), tZelkServerSet{svr_AE10});

    Browser.SetDesigning(true);
    Browser.SetProtocol(coCOM);
    EXPECT_EQ(Browser.Servertype(), (tZelkServerSet{svr_DA10, svr_DA20, svr_DA30}));
    Browser.SetProtocol(coUA);
    EXPECT_EQ(Browser.Servertype(), tZelkServerSet{svr_UA});
    Browser.SetServertype({svr_AE10});
    Browser.SetProtocol(coUA); // unchanged protocol: kinds stay
    EXPECT_EQ(Browser.Servertype(), tZelkServerSet{svr_AE10});
}

TEST_F(ServerList, PublishedSettingsRoundTripAsText) {
    Browser.SetName(u"ServerBrowser1"_s);
    EXPECT_EQ(WriteComponentToText(&Browser),
              QByteArray("object ServerBrowser1: TZelkServerBrowser\nend\n"));
    Browser.SetServertype({svr_AE10, svr_HDA10});
    Browser.SetComputerName(u"PLANTPC"_s);
    const QByteArray text = WriteComponentToText(&Browser);
    EXPECT_TRUE(text.contains("Servertype = [svr_AE10, svr_HDA10]")) << text.constData();
    TZelkServerBrowser loaded;
    ReadComponentFromText(text, &loaded);
    EXPECT_EQ(loaded.Servertype(), (tZelkServerSet{svr_AE10, svr_HDA10}));
    EXPECT_EQ(loaded.ComputerName(), u"PLANTPC"_s);
}
