#pragma once

// The simulated OPC AE server: the start-up call that registers its classes, and the
// control API through which tests drive its plant, inject faults and read what it
// received and sent.
//
//   // at program start: the simulator and the server enumerator on this computer
//   zelk::aesim::RegisterAESimulator({.Clock = zelk::aesim::TSimClockMode::RealTime});
//
//   // in a test: a manual clock, driven step by step
//   zelk::aesim::TScopedAESimulator sim;
//   sim->Activate(QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL"));
//   sim->AdvanceClock(500); // deliveries due within the subscriptions' buffer times
//
// Clients reach the server only through COM: CoCreateInstance(CLSID_ZelkAESimulator) or
// its ProgID "Zelk.AESimulator.1" on the computer it was registered for. Every
// CoCreateInstance makes a new server object (one client connection); all objects of
// one class share its plant, so one client's acknowledgement reaches every client.

#include "SimCatalog.h"
#include "SimFaults.h"
#include "SimOptions.h"
#include "SimPlant.h"
#include "SimPlantModel.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace zelk::aesim {

class TSimEngine;

// The control API of one registered simulator class. A handle: copies control the same
// simulator, which lives as long as a handle, its registration or a client object does.
// Every plant change publishes its notifications to the subscriptions and pumps them.
class TAESimulator {
public:
    explicit TAESimulator(std::shared_ptr<TSimEngine> engine);

    const TSimClassOptions& Options() const;
    // Fault injection and the record of received calls ("Interface::Method" names).
    TSimFaults& Faults() const;
    // The plant as it is built: areas, sources, categories, conditions.
    const TSimPlantModel& Plant() const;

    // ---- Clock. In manual mode nothing moves unless the test says so.
    TSimMillis Now() const;
    // Moves the manual clock, then delivers what has become due.
    void AdvanceClock(TSimMillis milliseconds);
    // `count` steps of the process simulation (values drift, alarms follow), each one
    // step interval on the manual clock.
    void RunSteps(int count);
    // Delivers what is due now (for example the calls of a refresh).
    void Pump();

    // ---- Real-time mode: the simulator's own thread (started at registration).
    void StartRealTime();
    void StopRealTime();
    bool RealTimeRunning() const;
    // Flood mode: `rate` notifications per second (0: as many as it can make).
    void SetFlood(bool flood, int rate = 10'000);

    // ---- Direct control of the plant. False when a name is unknown or the condition's
    // state does not allow the change (activating an active condition, say). Conditions
    // moved by hand no longer follow their process value until it is set again.
    bool Activate(const QString& source, const QString& condition,
                  const QString& subCondition = QString());
    bool ChangeSubCondition(const QString& source, const QString& condition,
                            const QString& subCondition);
    bool ReturnToNormal(const QString& source, const QString& condition);
    bool FireSimpleEvent(const QString& source, DWORD category, const QString& message,
                         DWORD severity = 500);
    bool FireTrackingEvent(const QString& source, const QString& actor, const QString& message,
                           double previousValue, double newValue, DWORD severity = 200);
    bool SetAreaEnabled(const QString& area, bool enabled);
    bool SetSourceEnabled(const QString& source, bool enabled);
    bool SourceEnabled(const QString& source) const;
    bool SetProcessValue(const QString& source, double value);
    std::optional<double> ProcessValue(const QString& source) const;
    std::optional<TSimConditionStateInfo> ConditionState(const QString& source,
                                                         const QString& condition) const;

    // ---- What the server published (the newest TSimEngine::RecordLimit), oldest first.
    std::vector<TSimNotification> Notifications() const;
    void ClearNotifications();
    long long PublishedCount() const;

    // ---- Clients.
    int ServerObjects() const;
    int Subscriptions() const;

    // ---- Shutdown: every client's IOPCShutdown::ShutdownRequest with `reason`, then every
    // object of the class answers RPC_E_DISCONNECTED for good. Restart, after Shutdown or
    // after Faults().StopAnswering() (a crash), is the restarted server process: the class
    // stays registered, the objects made before answer RPC_E_DISCONNECTED for good and
    // their subscriptions deliver nothing more, and objects created afterwards work (the
    // plant has gone on meanwhile). Nothing happens while the server runs normally.
    void Shutdown(const QString& reason);
    void Restart();
    bool IsShutDown() const;

private:
    std::shared_ptr<TSimEngine> FEngine;
};

// The start-up call: registers the simulator class as `options` describe it (by default
// "Zelk OPC AE Simulation Server", "Zelk.AESimulator.1", CLSID_ZelkAESimulator, category
// CATID_OPCAEServer10) and the server enumerator "OPC.ServerList.1" in the class
// registry of `computer` (empty: this computer; otherwise a declared computer, see
// registry.h). Registering a class again replaces it. In real-time mode the simulator's
// thread starts at once. Throws Exception for a computer that cannot be reached.
TAESimulator RegisterAESimulator(const TSimClassOptions& options = TSimClassOptions(),
                                 const QString& computer = QString());
// Undoes RegisterAESimulator: removes the class `clsid` and the enumerator. Objects
// already created live on.
void UnregisterAESimulator(const QString& computer = QString(),
                           REFCLSID clsid = CLSID_ZelkAESimulator);

// A further simulator class (other CLSID, ProgID and capabilities), without the enumerator.
TAESimulator RegisterSimulatorClass(const TSimClassOptions& options,
                                    const QString& computer = QString());
bool UnregisterSimulatorClass(REFCLSID clsid, const QString& computer = QString());

// The enumerator alone.
void RegisterServerList(const QString& computer = QString());
bool UnregisterServerList(const QString& computer = QString());

// A simulator class registered for the lifetime of this object, with or without the
// enumerator; for tests.
class TScopedAESimulator {
public:
    explicit TScopedAESimulator(const TSimClassOptions& options = TSimClassOptions(),
                                const QString& computer = QString(), bool withServerList = true);
    ~TScopedAESimulator();
    TScopedAESimulator(const TScopedAESimulator&) = delete;
    TScopedAESimulator& operator=(const TScopedAESimulator&) = delete;

    TAESimulator& operator*() noexcept { return FSimulator; }
    TAESimulator* operator->() noexcept { return &FSimulator; }
    const TAESimulator& operator*() const noexcept { return FSimulator; }
    const TAESimulator* operator->() const noexcept { return &FSimulator; }

private:
    QString FComputer;
    bool FWithServerList;
    TAESimulator FSimulator;
};

} // namespace zelk::aesim
