#include "ZelkAESim.h"

#include "Exceptions.h"
#include "SimEngine.h"
#include "SimServer.h"
#include "SimServerList.h"
#include "opcenum.h"
#include "registry.h"

namespace zelk::aesim {

namespace {

std::shared_ptr<zelk::com::ClassRegistry> RegistryOf(const QString& computer) {
    std::shared_ptr<zelk::com::ClassRegistry> registry = zelk::com::ComputerRegistry(computer);
    if (!registry)
        throw Exception(QStringLiteral("Computer \"%1\" cannot be reached").arg(computer));
    return registry;
}

} // namespace

// ---- Registration ----

TAESimulator RegisterSimulatorClass(const TSimClassOptions& options, const QString& computer) {
    const std::shared_ptr<zelk::com::ClassRegistry> registry = RegistryOf(computer);
    auto engine = std::make_shared<TSimEngine>(options);
    zelk::com::ClassRegistration registration;
    registration.Clsid = options.Clsid;
    registration.ProgID = options.ProgID;
    registration.VersionIndependentProgID = options.VersionIndependentProgID;
    registration.Description = options.Description;
    registration.ImplementedCategories = {CATID_OPCAEServer10};
    // An executable server, as AE servers are: reachable from other computers too.
    registration.ServerContext = CLSCTX_LOCAL_SERVER;
    registration.Factory = zelk::com::MakeClassFactory(
        zelk::com::TCreateInstance([engine](REFIID riid, void** ppv) -> HRESULT {
            // Between a shutdown or a crash and the restart there is no process to serve.
            if (engine->IsShutDown() || engine->Faults().Stopped()) {
                if (ppv)
                    *ppv = nullptr;
                return CO_E_SERVER_EXEC_FAILURE;
            }
            const ComPtr<TSimEventServer> server = TSimEventServer::Create(engine);
            return server ? server->QueryInterface(riid, ppv) : E_FAIL;
        }));
    const HRESULT hr = registry->Register(std::move(registration));
    if (FAILED(hr))
        throw Exception(QStringLiteral("The simulator class could not be registered"));
    registry->RegisterCategory(CATID_OPCAEServer10, 0x0409,
                               zelk::com::ToQString(OPC_CATEGORY_DESCRIPTION_AE10));
    engine->StartRealTime();
    return TAESimulator(std::move(engine));
}

bool UnregisterSimulatorClass(REFCLSID clsid, const QString& computer) {
    const std::shared_ptr<zelk::com::ClassRegistry> registry =
        zelk::com::ComputerRegistry(computer);
    return registry && registry->Unregister(clsid);
}

void RegisterServerList(const QString& computer) {
    const std::shared_ptr<zelk::com::ClassRegistry> registry = RegistryOf(computer);
    registry->Register(ServerListRegistration(registry));
}

bool UnregisterServerList(const QString& computer) {
    return UnregisterSimulatorClass(CLSID_OpcServerList, computer);
}

TAESimulator RegisterAESimulator(const TSimClassOptions& options, const QString& computer) {
    TAESimulator simulator = RegisterSimulatorClass(options, computer);
    RegisterServerList(computer);
    return simulator;
}

void UnregisterAESimulator(const QString& computer, REFCLSID clsid) {
    UnregisterSimulatorClass(clsid, computer);
    UnregisterServerList(computer);
}

TScopedAESimulator::TScopedAESimulator(const TSimClassOptions& options, const QString& computer,
                                       bool withServerList)
    : FComputer(computer), FWithServerList(withServerList),
      FSimulator(withServerList ? RegisterAESimulator(options, computer)
                                : RegisterSimulatorClass(options, computer)) {}

TScopedAESimulator::~TScopedAESimulator() {
    UnregisterSimulatorClass(FSimulator.Options().Clsid, FComputer);
    if (FWithServerList)
        UnregisterServerList(FComputer);
}

// ---- Control ----

TAESimulator::TAESimulator(std::shared_ptr<TSimEngine> engine) : FEngine(std::move(engine)) {}

const TSimClassOptions& TAESimulator::Options() const {
    return FEngine->Options();
}

TSimFaults& TAESimulator::Faults() const {
    return FEngine->Faults();
}

const TSimPlantModel& TAESimulator::Plant() const {
    return FEngine->Plant().Model();
}

TSimMillis TAESimulator::Now() const {
    return FEngine->Clock().Now();
}

void TAESimulator::AdvanceClock(TSimMillis milliseconds) {
    FEngine->AdvanceClock(milliseconds);
}

void TAESimulator::RunSteps(int count) {
    FEngine->RunSteps(count);
}

void TAESimulator::Pump() {
    FEngine->Pump();
}

void TAESimulator::StartRealTime() {
    FEngine->StartRealTime();
}

void TAESimulator::StopRealTime() {
    FEngine->StopRealTime();
}

bool TAESimulator::RealTimeRunning() const {
    return FEngine->RealTimeRunning();
}

void TAESimulator::SetFlood(bool flood, int rate) {
    FEngine->SetFlood(flood, rate);
}

bool TAESimulator::Activate(const QString& source, const QString& condition,
                            const QString& subCondition) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return plant.Activate(source, condition, subCondition, out);
    });
}

bool TAESimulator::ChangeSubCondition(const QString& source, const QString& condition,
                                      const QString& subCondition) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return plant.ChangeSubCondition(source, condition, subCondition, out);
    });
}

bool TAESimulator::ReturnToNormal(const QString& source, const QString& condition) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return plant.ReturnToNormal(source, condition, out);
    });
}

bool TAESimulator::FireSimpleEvent(const QString& source, DWORD category, const QString& message,
                                   DWORD severity) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return plant.FireSimpleEvent(source, category, message, severity, out);
    });
}

bool TAESimulator::FireTrackingEvent(const QString& source, const QString& actor,
                                     const QString& message, double previousValue, double newValue,
                                     DWORD severity) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return plant.FireTrackingEvent(source, actor, message, previousValue, newValue, severity,
                                       out);
    });
}

bool TAESimulator::SetAreaEnabled(const QString& area, bool enabled) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return SUCCEEDED(plant.SetAreasEnabled({area}, enabled, out));
    });
}

bool TAESimulator::SetSourceEnabled(const QString& source, bool enabled) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return SUCCEEDED(plant.SetSourcesEnabled({source}, enabled, out));
    });
}

bool TAESimulator::SourceEnabled(const QString& source) const {
    return FEngine->Plant().SourceEffectivelyEnabled(source);
}

bool TAESimulator::SetProcessValue(const QString& source, double value) {
    return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
        return plant.SetProcessValue(source, value, out);
    });
}

std::optional<double> TAESimulator::ProcessValue(const QString& source) const {
    return FEngine->Plant().ProcessValue(source);
}

std::optional<TSimConditionStateInfo> TAESimulator::ConditionState(const QString& source,
                                                                   const QString& condition) const {
    return FEngine->Plant().ConditionState(source, condition);
}

std::vector<TSimNotification> TAESimulator::Notifications() const {
    return FEngine->Notifications();
}

void TAESimulator::ClearNotifications() {
    FEngine->ClearNotifications();
}

long long TAESimulator::PublishedCount() const {
    return FEngine->PublishedCount();
}

int TAESimulator::ServerObjects() const {
    return FEngine->ServerObjects();
}

int TAESimulator::Subscriptions() const {
    return FEngine->LiveChannels();
}

void TAESimulator::Shutdown(const QString& reason) {
    FEngine->Shutdown(reason);
}

void TAESimulator::Restart() {
    FEngine->Restart();
}

bool TAESimulator::IsShutDown() const {
    return FEngine->IsShutDown();
}

} // namespace zelk::aesim
