#pragma once

// Small OPC servers, an OPC server enumerator and client components for the COM
// transport's suites, registered in the class registry for the length of one test.

#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkCom.h"
#include "objbase.h"
#include "opcenum.h"

#include <gtest/gtest.h>
#include <mutex>
#include <optional>

namespace zelk::test {

// Declared first in a test: at its end no task memory, COM object, registry key or
// interface table entry may be left over.
class TComLeakCheck {
public:
    TComLeakCheck();
    ~TComLeakCheck();
    TComLeakCheck(const TComLeakCheck&) = delete;
    TComLeakCheck& operator=(const TComLeakCheck&) = delete;

private:
    long long FTaskAllocations;
    long long FComObjects;
    std::size_t FRegistryKeys;
    std::size_t FTableEntries;
};

// The COM transport alone in the transport registry, for the lifetime of the object.
class TScopedCOMTransport {
public:
    TScopedCOMTransport() { RegisterZelkCOMLink(); }

private:
    zelk::testing::TScopedConnectionRegistry FRegistry;
};

// Removes a class of the local registry (the simulator's OPCEnum, say) for the lifetime
// of the object and registers it again afterwards.
class TScopedHiddenClass {
public:
    explicit TScopedHiddenClass(REFCLSID clsid);
    ~TScopedHiddenClass();
    TScopedHiddenClass(const TScopedHiddenClass&) = delete;
    TScopedHiddenClass& operator=(const TScopedHiddenClass&) = delete;

private:
    std::optional<zelk::com::ClassRegistration> FSaved;
};

// A class whose objects offer none of the OPC interfaces (they are string enumerators),
// registered in the local registry for its lifetime.
zelk::com::ClassRegistration BareClass(REFCLSID clsid, const QString& progId,
                                       const QString& description = QString(),
                                       std::vector<CATID> categories = {});

// The sinks advised on `point`.
int AdvisedSinks(IConnectionPoint* point);
// What a server does when it shuts down: ShutdownRequest on every sink of `point`.
void SendShutdown(IConnectionPoint* point);

// ---- An OPC server enumerator ----

struct TListedServer {
    CLSID Clsid{};
    QString ProgID;
    QString UserType;
    std::vector<CATID> Categories;
    bool DetailsFail = false;
};

struct TServerListScript {
    std::vector<TListedServer> Servers;
    bool List2 = true;
    bool List1 = true;
    HRESULT EnumResult = S_OK;
    int Creations = 0;
    // One line per EnumClassesOfCategories call: the interface, then the categories.
    QStringList Queries;
};

// Registers an OPC server enumerator under CLSID_OpcServerList (in `registry`) for its
// lifetime, hiding a local one registered before.
class TTestServerListClass {
public:
    explicit TTestServerListClass(zelk::com::ClassRegistry& registry = zelk::com::LocalRegistry());

    const std::shared_ptr<TServerListScript> Script = std::make_shared<TServerListScript>();

private:
    TScopedHiddenClass FHidden{CLSID_OpcServerList};
    std::optional<zelk::com::ScopedClassRegistration> FRegistration;
};

// The short text of a category in query records: "DA10", "AE10", …
QString CategoryName(REFCATID catid);

// One report of a server enumerator, as text: "caption|name|clsid|kinds".
QString ReportText(const QString& caption, const QString& name, const QString& clsId,
                   tZelkServerSet kinds);

// The base of the suites: leak check, the COM transport alone, a declared computer
// "PLANTPC", and the simulator's registrations made elsewhere in the process put aside.
class TCOMTest : public ::testing::Test {
protected:
    TComLeakCheck Leaks;
    TScopedCOMTransport Transport;
    TScopedHiddenClass HiddenSimulator{zelk::aesim::CLSID_ZelkAESimulator};
    TScopedHiddenClass HiddenEnumerator{CLSID_OpcServerList};
    zelk::com::ScopedComputer Plant{QStringLiteral("PLANTPC")};
};

// ---- Client components ----

// A client component whose connection is the COM transport's.
class TCOMTestClient : public TZelkClient {
public:
    using TZelkClient::GetConnection;
    using TZelkClient::TZelkClient;

protected:
    ComPtr<IZelkConnection> CreateConnection() override { return TZelkCOMConnection::Create(this); }
};

// A component that records what is posted to it, from any thread.
class TPostRecorder : public TZelkComponent {
public:
    void PostMsg(std::int32_t MessageId, std::int64_t IParam,
                 std::unique_ptr<TObject> OParam) override;
    QStringList Posted() const;

private:
    mutable std::mutex FLock;
    QStringList FPosted;
};

} // namespace zelk::test
