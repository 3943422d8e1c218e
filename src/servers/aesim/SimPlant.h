#pragma once

// The plant's changing state: process values, condition states and the enable flags of
// areas and sources, with the condition state machine. Every operation is thread-safe;
// an operation that changes what clients see appends the notifications it caused, in
// order, to `out` (the caller publishes them outside the plant's lock).

#include "SimCatalog.h"
#include "SimClock.h"
#include "SimPlantModel.h"

#include <QSet>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <vector>

namespace zelk::aesim {

using TSimNotifications = std::vector<TSimNotification>;

// The full state of one condition, as GetConditionState reports it.
struct TSimConditionStateInfo {
    WORD State = 0;
    int ActiveSubCondition = -1; // index into SubConditions; -1 while inactive
    std::vector<TSimSubConditionDef> SubConditions;
    WORD Quality = 0;
    FILETIME LastAckTime{};
    FILETIME SubCondLastActive{};
    FILETIME CondLastActive{};
    FILETIME CondLastInactive{};
    std::optional<QString> AcknowledgerID; // unset while never acknowledged
    std::optional<QString> Comment;
    FILETIME ActiveTime{}; // what AckCondition must be given back
    DWORD Cookie = 0;
    bool AckRequired = false;
    std::vector<TSimAttributeValue> Attributes; // every attribute of the category
};

class TSimPlant {
public:
    TSimPlant(TSimPlantModel model, std::uint32_t seed, TSimClock& clock);
    ~TSimPlant();
    TSimPlant(const TSimPlant&) = delete;
    TSimPlant& operator=(const TSimPlant&) = delete;

    // Fixed after construction; read without a lock.
    const TSimPlantModel& Model() const noexcept { return FModel; }

    // ---- Direct control. False when a name is unknown or the state does not allow it.
    // An empty sub-condition activates the condition's first one.
    bool Activate(const QString& source, const QString& condition, const QString& subCondition,
                  TSimNotifications& out);
    bool ChangeSubCondition(const QString& source, const QString& condition,
                            const QString& subCondition, TSimNotifications& out);
    bool ReturnToNormal(const QString& source, const QString& condition, TSimNotifications& out);
    // `category` must be a simple-event category.
    bool FireSimpleEvent(const QString& source, DWORD category, const QString& message,
                         DWORD severity, TSimNotifications& out);
    bool FireTrackingEvent(const QString& source, const QString& actor, const QString& message,
                           double previousValue, double newValue, DWORD severity,
                           TSimNotifications& out);
    // Moves the source's value and lets its conditions follow it.
    bool SetProcessValue(const QString& source, double value, TSimNotifications& out);
    std::optional<double> ProcessValue(const QString& source) const;

    // ---- Through the server.
    // One item of AckCondition; its per-item result.
    HRESULT Acknowledge(const QString& source, const QString& condition, const FILETIME& activeTime,
                        DWORD cookie, const QString& acknowledger, const QString& comment,
                        TSimNotifications& out);
    // All names must be known (E_INVALIDARG, nothing changed, otherwise).
    HRESULT SetAreasEnabled(const QStringList& areas, bool enabled, TSimNotifications& out);
    HRESULT SetSourcesEnabled(const QStringList& sources, bool enabled, TSimNotifications& out);
    bool SourceEffectivelyEnabled(const QString& source) const;
    std::optional<TSimConditionStateInfo> ConditionState(const QString& source,
                                                         const QString& condition) const;
    // Enabled conditions that are active or unacknowledged, with change mask 0.
    TSimNotifications RefreshSnapshot() const;
    // The time of the last notification, zero before the first.
    FILETIME LastUpdateTime() const;

    // ---- Simulation.
    // One step of the process: values drift, conditions follow, now and then a simple or
    // tracking event.
    void Step(TSimNotifications& out);
    // `count` notifications at once, for performance work: conditions cycle through
    // activation and return to normal, with simple events in between.
    void Flood(int count, TSimNotifications& out);

private:
    struct TReport; // what the last notification of a condition said
    struct TCondition;
    struct TSourceState;

    // Everything below runs with FLock held.
    TCondition* Find(const QString& source, const QString& condition);
    const TCondition* Find(const QString& source, const QString& condition) const;
    bool Enabled(const TCondition& c) const;
    bool SourceEnabled(int source) const;
    WORD StateOf(const TCondition& c) const;
    // Moves `c` to sub-condition `sub` (-1: normal) and reports the change.
    void Transition(TCondition& c, int sub, TSimNotifications& out);
    void Report(TCondition& c, const FILETIME& time, const QString& actor, TSimNotifications& out);
    QString SubConditionName(const TCondition& c) const;
    TSimNotification Describe(const TCondition& c, WORD changeMask) const;
    std::vector<TSimAttributeValue> ConditionAttributes(const TCondition& c) const;
    TSimNotification EventOf(int source, DWORD category, const QString& message, DWORD severity,
                             const QString& actor);
    void EnableChanged(const std::vector<bool>& before, TSimNotifications& out);
    // The sub-condition the value calls for, with hysteresis around the current one.
    int LevelBand(const TCondition& c, double value) const;
    int DeviationBand(const TCondition& c, double value, double setPoint) const;
    void Follow(int source, TSimNotifications& out);
    double Uniform();
    void StepRandomEvents(TSimNotifications& out);

    const TSimPlantModel FModel;
    TSimClock& FClock;
    mutable std::mutex FLock;
    std::vector<TCondition> FConditions;
    std::vector<TSourceState> FSources;
    QSet<QString> FDisabledAreas;
    std::mt19937 FRandom;
    DWORD FLastCookie = 0;
    FILETIME FLastUpdate{};
    std::size_t FFloodNext = 0;
};

} // namespace zelk::aesim
