#pragma once

// Shared pieces of the Alarms and Events suites: a scripted IOPCEventServer, an event
// server component connected to it without the COM transport, notifications as a server
// sends them, and a leak check.

#include "ExceptionMessage.h"
#include "OpcNotification.h"
#include "ZelkAE.h"
#include "ZelkGIP.h"
#include "objbase.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace zelk::aetest {

// Declared first in a test: at its end checks that no task memory or COM object was
// left behind.
class TLeakCheck {
public:
    TLeakCheck() = default;
    TLeakCheck(const TLeakCheck&) = delete;
    TLeakCheck& operator=(const TLeakCheck&) = delete;
    ~TLeakCheck() {
        EXPECT_EQ(zelk::com::LiveTaskAllocations(), FTaskAllocations) << "task memory leaked";
        EXPECT_EQ(zelk::com::LiveComObjects(), FComObjects) << "COM objects leaked";
    }

private:
    const long long FTaskAllocations = zelk::com::LiveTaskAllocations();
    // The process-wide interface table, made at its first use and kept, is no leak.
    const long long FComObjects = (GlobalInterfaceTable(), zelk::com::LiveComObjects());
};

// An AE server whose categories, attributes and item ids the test writes down.
// Calls it does not script answer E_NOTIMPL.
class TFakeEventServer : public zelk::com::ComObject<TFakeEventServer, IOPCEventServer> {
public:
    struct TAttribute {
        DWORD Id;
        QString Description;
        VARTYPE Type;
    };
    struct TCategory {
        DWORD EventType;
        DWORD Id;
        QString Description;
        std::vector<TAttribute> Attributes;
    };

    std::vector<TCategory> Categories;
    HRESULT TranslateResult = S_OK;
    QString ItemId;
    QString NodeName;
    CLSID ItemServer{};
    QStringList Calls; // one line per call, "Method argument"

    HRESULT STDMETHODCALLTYPE GetStatus(OPCEVENTSERVERSTATUS** ppEventServerStatus) override;
    HRESULT STDMETHODCALLTYPE CreateEventSubscription(BOOL, DWORD, DWORD, OPCHANDLE, REFIID,
                                                      LPUNKNOWN*, DWORD*, DWORD*) override;
    HRESULT STDMETHODCALLTYPE QueryAvailableFilters(DWORD*) override;
    HRESULT STDMETHODCALLTYPE QueryEventCategories(DWORD dwEventType, DWORD* pdwCount,
                                                   DWORD** ppdwEventCategories,
                                                   LPWSTR** ppszEventCategoryDescs) override;
    HRESULT STDMETHODCALLTYPE QueryConditionNames(DWORD dwEventCategory, DWORD* pdwCount,
                                                  LPWSTR** ppszConditionNames) override;
    HRESULT STDMETHODCALLTYPE QuerySubConditionNames(LPWSTR szConditionName, DWORD* pdwCount,
                                                     LPWSTR** ppszSubConditionNames) override;
    HRESULT STDMETHODCALLTYPE QuerySourceConditions(LPWSTR szSource, DWORD* pdwCount,
                                                    LPWSTR** ppszConditionNames) override;
    HRESULT STDMETHODCALLTYPE QueryEventAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                                   DWORD** ppdwAttrIDs, LPWSTR** ppszAttrDescs,
                                                   VARTYPE** ppvtAttrTypes) override;
    HRESULT STDMETHODCALLTYPE TranslateToItemIDs(LPWSTR szSource, DWORD dwEventCategory,
                                                 LPWSTR szConditionName, LPWSTR szSubconditionName,
                                                 DWORD dwCount, DWORD* pdwAssocAttrIDs,
                                                 LPWSTR** ppszAttrItemIDs, LPWSTR** ppszNodeNames,
                                                 CLSID** ppCLSIDs) override;
    HRESULT STDMETHODCALLTYPE GetConditionState(LPWSTR, LPWSTR, DWORD, DWORD*,
                                                OPCCONDITIONSTATE**) override;
    HRESULT STDMETHODCALLTYPE EnableConditionByArea(DWORD, LPWSTR*) override;
    HRESULT STDMETHODCALLTYPE EnableConditionBySource(DWORD, LPWSTR*) override;
    HRESULT STDMETHODCALLTYPE DisableConditionByArea(DWORD, LPWSTR*) override;
    HRESULT STDMETHODCALLTYPE DisableConditionBySource(DWORD, LPWSTR*) override;
    HRESULT STDMETHODCALLTYPE AckCondition(DWORD, LPWSTR, LPWSTR, LPWSTR*, LPWSTR*, FILETIME*,
                                           DWORD*, HRESULT**) override;
    HRESULT STDMETHODCALLTYPE CreateAreaBrowser(REFIID, LPUNKNOWN*) override;

    // A small plant: two simple, two condition and one tracking category with attributes.
    void ScriptPlant();
};

// A connection that connects to nothing; the test's event server answers GetOPCEventServer
// with its fake while this connection is held.
class TNullConnection : public TZelkIntfComponent<TNullConnection, IZelkConnection> {
public:
    explicit TNullConnection(TComponent* owner) : TZelkIntfComponent(owner) {}
    void Connect(const QString&, const QString&, const QString&, const QStringList&, int) override {
    }
    void Disconnect() override {}
    int GetLocaleId() override { return 0; }
    bool SetOption(const QString&, const QString&) override { return false; }
    void SetLocaleId(int) override {}
    int Servertype() override { return 2; }
    TObject* GetObject() override { return this; }
    tZelkConnectionType Connectiontype() override { return tZelkConnectionType::coCOM; }
    bool SetClientName(const QString&) override { return true; }
    bool DoTimer() override { return true; }
};

class TTestEventServer : public TZelkEventServer {
public:
    explicit TTestEventServer(ComPtr<TFakeEventServer> fake = nullptr) : Fake(std::move(fake)) {}

    ComPtr<IOPCEventServer> GetOPCEventServer() override {
        return GetConnection() && Fake ? ComPtr<IOPCEventServer>(Fake.Get()) : nullptr;
    }
    ComPtr<IZelkConnection> CreateConnection() override { return TNullConnection::Create(this); }
    void SetGlobalId(std::int32_t value) { FGlobalId.store(value); }

    ComPtr<TFakeEventServer> Fake;
};

// Registers a COM transport stand-in for the test's lifetime, so components can be made,
// and collates texts as the English locale does, whatever the machine's locale is.
class AETest : public ::testing::Test {
protected:
    AETest();
    ~AETest() override;
    zelk::testing::TScopedConnectionRegistry Registry;

private:
    QLocale FSavedLocale;
};

using zelk::test::TNotification;
using zelk::test::UtcFileTime;

// A new condition event of `server` for source and condition with that state and time.
std::unique_ptr<TZelkEvent> NewEvent(TZelkEventServer* server, const QString& source,
                                     const QString& condition,
                                     WORD state = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE,
                                     FILETIME time = UtcFileTime(2024, 3, 1, 12, 0, 0),
                                     DWORD severity = 500);

using zelk::test::MessageOf;

} // namespace zelk::aetest
