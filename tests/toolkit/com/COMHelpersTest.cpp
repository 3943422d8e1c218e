#include "COMTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace zelk::com;
using namespace zelk::test;

namespace {

const QString SimProgId = QStringLiteral("Zelk.AESimulator.1");
const QString SimText = QStringLiteral("{5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}");
const QString Unregistered = QStringLiteral("{2b0c8e51-6a0f-4c8e-9d1b-5e7a3c2f1a02}");

class COMHelpers : public TCOMTest {};

// An IEnumString over `items` that counts its Next calls.
class TCountingEnum : public ComObject<TCountingEnum, IEnumString> {
public:
    explicit TCountingEnum(const QStringList& items) : FInner(MakeEnumString(items)) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override {
        Requests.append(celt);
        return FInner->Next(celt, rgelt, pceltFetched);
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override { return FInner->Skip(celt); }
    HRESULT STDMETHODCALLTYPE Reset() override { return FInner->Reset(); }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString** pp) override { return FInner->Clone(pp); }

    QList<ULONG> Requests;

private:
    ComPtr<IEnumString> FInner;
};

QStringList Numbered(int count) {
    QStringList items;
    for (int i = 0; i < count; ++i)
        items.append(QStringLiteral("Area%1").arg(i));
    return items;
}

} // namespace

TEST_F(COMHelpers, ClassIdsAndServerNamesResolveThroughTheRegistry) {
    zelk::aesim::TScopedAESimulator sim;
    CLSID classId{};
    EXPECT_TRUE(NameToClsid(SimProgId.toLower(), classId));
    EXPECT_EQ(classId, zelk::aesim::CLSID_ZelkAESimulator);
    EXPECT_TRUE(NameToClsid(Unregistered, classId));
    EXPECT_EQ(ClsidToStr(classId), Unregistered.toUpper());
    EXPECT_FALSE(NameToClsid(QString(), classId));
    EXPECT_FALSE(NameToClsid(QStringLiteral("No.Such.Server"), classId));
    EXPECT_TRUE(IsClsidStr(SimText.toLower()));
    EXPECT_FALSE(IsClsidStr(SimText.mid(1, 36)));

    // A registered ProgID gives its class id text twice; a class id text of a registered
    // class its ProgID; anything else stays where step one put it.
    QString caption = QStringLiteral("stale");
    QString clsId = QStringLiteral("stale");
    GetCOMServerNames(SimProgId, caption, clsId);
    EXPECT_EQ(caption, SimText);
    EXPECT_EQ(clsId, SimText);
    GetCOMServerNames(SimText.toLower(), caption, clsId);
    EXPECT_EQ(caption, SimProgId);
    EXPECT_EQ(clsId, SimText);
    GetCOMServerNames(QStringLiteral("No.Such.Server"), caption, clsId);
    EXPECT_EQ(caption, QStringLiteral("No.Such.Server"));
    EXPECT_EQ(clsId, QString());
    GetCOMServerNames(Unregistered, caption, clsId);
    EXPECT_EQ(caption, QString());
    EXPECT_EQ(clsId, Unregistered);
}

TEST_F(COMHelpers, StrToBSTRNeverGivesNull) {
    TComLeakCheck leaks;
    BStr empty;
    empty.Attach(StrToBSTR(QString()));
    ASSERT_NE(empty.Get(), nullptr);
    EXPECT_EQ(empty.Length(), 0u);
    const QString text = QStringLiteral("Tank \u00e4\u20ac 1");
    BStr copy;
    copy.Attach(StrToBSTR(text));
    EXPECT_EQ(copy.ToQString(), text);
}

TEST_F(COMHelpers, EnumStringToStringsReadsBatchesOfAHundredAndFreesEverything) {
    TComLeakCheck leaks;
    auto all = TCountingEnum::Create(Numbered(250));
    QStringList strings{QStringLiteral("old")};
    EnumStringToStrings(all.Get(), strings);
    EXPECT_EQ(strings, Numbered(250));
    EXPECT_EQ(all->Requests, (QList<ULONG>{100, 100, 100}));

    // An empty string ends the reading; the strings after it are freed, not added.
    QStringList items = Numbered(150);
    items[4] = QString();
    auto cut = TCountingEnum::Create(items);
    EnumStringToStrings(cut.Get(), strings);
    EXPECT_EQ(strings, Numbered(4));
    EXPECT_EQ(cut->Requests.size(), 1);

    auto none = TCountingEnum::Create(QStringList());
    EnumStringToStrings(none.Get(), strings);
    EXPECT_TRUE(strings.isEmpty());
    strings = QStringList{QStringLiteral("old")};
    EnumStringToStrings(nullptr, strings);
    EXPECT_TRUE(strings.isEmpty());
}

TEST_F(COMHelpers, ConnectionAdviseNeedsAServerWithThePoint) {
    zelk::aesim::TScopedAESimulator sim;
    const ComPtr<IEnumString> withoutPoints = MakeEnumString(QStringList());
    ComPtr<IConnectionPointContainer> server;
    ASSERT_EQ(CoCreateInstance(zelk::aesim::CLSID_ZelkAESimulator, nullptr, CLSCTX_ALL,
                               IID_PPV_ARGS(server.Put())),
              S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(server->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);

    auto sink = TZelkShutdownEvent::Create(nullptr); // not bound to a connection
    DWORD cookie = 0;
    EXPECT_EQ(ConnectionAdvise(nullptr, IID_IOPCShutdown, sink->GetUnknown(), cookie), E_FAIL);
    EXPECT_EQ(ConnectionAdvise(withoutPoints.Get(), IID_IOPCShutdown, sink->GetUnknown(), cookie),
              E_FAIL);
    EXPECT_EQ(ConnectionAdvise(server.Get(), IID_IOPCCommon, sink->GetUnknown(), cookie), E_FAIL);
    ASSERT_EQ(ConnectionAdvise(server.Get(), IID_IOPCShutdown, sink->GetUnknown(), cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(AdvisedSinks(point.Get()), 1);

    EXPECT_EQ(ConnectionUnadvise(server.Get(), IID_IOPCShutdown, 0), E_FAIL);
    EXPECT_EQ(ConnectionUnadvise(server.Get(), IID_IOPCShutdown, cookie + 1), E_FAIL);
    EXPECT_EQ(ConnectionUnadvise(nullptr, IID_IOPCShutdown, cookie), E_FAIL);
    EXPECT_EQ(ConnectionUnadvise(server.Get(), IID_IOPCShutdown, cookie), S_OK);
    EXPECT_EQ(AdvisedSinks(point.Get()), 0);
}

TEST_F(COMHelpers, InitCOMSecurityAsksForNoAuthenticationAndImpersonation) {
    ResetProcessSecurity();
    EXPECT_EQ(InitCOMSecurity(), S_OK);
    const auto settings = ProcessSecurity();
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->AuthenticationServices, -1);
    EXPECT_FALSE(settings->HasAuthenticationServiceList);
    EXPECT_EQ(settings->AuthenticationLevel, RPC_C_AUTHN_LEVEL_NONE);
    EXPECT_EQ(settings->ImpersonationLevel, RPC_C_IMP_LEVEL_IMPERSONATE);
    EXPECT_EQ(settings->Capabilities, EOAC_NONE);
    EXPECT_EQ(InitCOMSecurity(), RPC_E_TOO_LATE);
    ResetProcessSecurity();
}

TEST_F(COMHelpers, GIPSharesOneRegistrationAndAssertsOnMisuse) {
    TComLeakCheck leaks;
    auto server = MakeEnumString(QStringList());
    auto messageOf = [](auto&& call) {
        try {
            call();
        } catch (const EAssertionFailed& e) {
            return e.Message();
        }
        return QStringLiteral("<no assertion>");
    };
    EXPECT_EQ(messageOf([] { TGIP gip(nullptr, IID_IUnknown); }),
              QStringLiteral("Assertion failure (com\\ZelkCOM, line 325)"));
    EXPECT_EQ(messageOf([&] { TGIP gip(server.Get(), GUID_NULL); }),
              QStringLiteral("Assertion failure (com\\ZelkCOM, line 325)"));

    const std::size_t entries = GlobalInterfaceTableEntries();
    {
        TGIP gip(server.Get(), IID_IEnumString);
        EXPECT_NE(gip.Cookie(), 0u);
        EXPECT_EQ(gip.IID(), IID_IEnumString);
        gip.SetIntf(server.Get(), IID_IUnknown); // replaces, does not add
        EXPECT_EQ(GlobalInterfaceTableEntries(), entries + 1);
        ComPtr<IUnknown> fetched;
        gip.GetIntf(fetched.PutVoid());
        EXPECT_EQ(fetched.Get(), server.Get());

        gip.RevokeIntf();
        EXPECT_EQ(gip.Cookie(), 0u);
        EXPECT_EQ(gip.IID(), GUID_NULL);
        EXPECT_EQ(messageOf([&] { gip.GetIntf(fetched.PutVoid()); }),
                  QStringLiteral("Assertion failure (com\\ZelkCOM, line 311)"));
        gip.SetIntf(server.Get(), IID_IUnknown);
    }
    EXPECT_EQ(GlobalInterfaceTableEntries(), entries);
}
