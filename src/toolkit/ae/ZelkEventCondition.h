#pragma once

// TZelkEventCondition: a snapshot of one condition's state as the server reported it
// (IOPCEventServer::GetConditionState), with its sub-conditions and the attribute values
// of its category. The caller of GetConditionState owns it; it stays valid across a
// disconnect, since it copies what it shows and its attribute names are looked up again
// after the server's caches change.

#include "DateTime.h"
#include "Persistent.h"
#include "ZelkEventCustomProps.h"
#include "opc_ae.h"

#include <QString>
#include <memory>
#include <vector>

class TZelkEventServer;

class TZelkEventSubCondition : public TObject {
public:
    TZelkEventSubCondition(const QString& AName, const QString& ADefinition,
                           const QString& ADescription, int ASeverity)
        : FName(AName), FDefinition(ADefinition), FDescription(ADescription), FSeverity(ASeverity) {
    }

    const QString& Name() const noexcept { return FName; }
    const QString& Definition() const noexcept { return FDefinition; }
    const QString& Description() const noexcept { return FDescription; }
    int Severity() const noexcept { return FSeverity; }
    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }

private:
    QString FName;
    QString FDefinition;
    QString FDescription;
    std::int32_t FSeverity = 0;
    std::int32_t FTag = 0;
};

// The sub-conditions of one condition in server order; owns them.
class TZelkEventSubConditions : public TObject {
public:
    TZelkEventSubConditions() = default;
    TZelkEventSubConditions(const TZelkEventSubConditions&) = delete;
    TZelkEventSubConditions& operator=(const TZelkEventSubConditions&) = delete;

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    // EListError "List index out of bounds (%d)" outside 0 .. Count - 1.
    TZelkEventSubCondition* Items(int Index) const;
    // Appends the sub-condition, which the list then owns; returns it.
    TZelkEventSubCondition* Add(std::unique_ptr<TZelkEventSubCondition> Item);
    void Clear() noexcept { FItems.clear(); }

private:
    std::vector<std::unique_ptr<TZelkEventSubCondition>> FItems;
};

class TZelkEventCondition : public TObject {
public:
    // An empty snapshot: no sub-conditions, no active one, no attribute values.
    TZelkEventCondition();
    // The snapshot of State for Source and ConditionName (as asked for): its flags,
    // acknowledgement, quality, times (local) and sub-conditions, the active one marked.
    // The attribute values are not read here.
    TZelkEventCondition(const QString& Source, const QString& ConditionName,
                        const OPCCONDITIONSTATE& State);
    TZelkEventCondition(const TZelkEventCondition&) = delete;
    TZelkEventCondition& operator=(const TZelkEventCondition&) = delete;
    ~TZelkEventCondition() override;

    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }
    // OPC_CONDITION_ENABLED, OPC_CONDITION_ACTIVE and OPC_CONDITION_ACKED bits.
    int State() const noexcept { return FState; }
    const QString& Source() const noexcept { return FSource; }
    const QString& ConditionName() const noexcept { return FConditionName; }
    // The position in SubConditions of the active sub-condition; -1 when none matches.
    int ActiveSubCondition() const noexcept { return FActiveSubCondition; }
    const QString& Comment() const noexcept { return FComment; }
    const QString& AcknowledgerID() const noexcept { return FAcknowledgerID; }
    int Quality() const noexcept { return FQuality; }
    TDateTime LastAckTime() const noexcept { return FLastAckTime; }
    TDateTime SubCondLastActive() const noexcept { return FSubCondLastActive; }
    TDateTime CondLastActive() const noexcept { return FCondLastActive; }
    TDateTime CondLastInactive() const noexcept { return FCondLastInactive; }
    const TZelkEventSubConditions& SubConditions() const noexcept { return FSubConditions; }
    TZelkEventSubConditions& SubConditions() noexcept { return FSubConditions; }
    // The attribute values returned with the state; null until GetConditionState has
    // stored them (empty when the condition's category is unknown).
    TZelkEventCustomProps* CustomProps() const noexcept { return FCustomProps.get(); }

    bool Enabled() const noexcept { return (FState & OPC_CONDITION_ENABLED) != 0; }
    bool Active() const noexcept { return (FState & OPC_CONDITION_ACTIVE) != 0; }
    bool Acknowledged() const noexcept { return (FState & OPC_CONDITION_ACKED) != 0; }
    bool IsGoodQuality() const noexcept {
        return (FQuality & OPC_QUALITY_MASK) == OPC_QUALITY_GOOD;
    }

private:
    friend class TZelkEventServer;

    std::int32_t FTag = 0;
    std::int32_t FState = 0;
    QString FSource;
    QString FConditionName;
    std::int32_t FActiveSubCondition = -1;
    QString FComment;
    QString FAcknowledgerID;
    std::int32_t FQuality = 0;
    TDateTime FLastAckTime = 0;
    TDateTime FSubCondLastActive = 0;
    TDateTime FCondLastActive = 0;
    TDateTime FCondLastInactive = 0;
    TZelkEventSubConditions FSubConditions;
    std::unique_ptr<TZelkEventCustomProps> FCustomProps;
};

namespace zelk::ae {

// Owns an OPCCONDITIONSTATE a server returned: on destruction the attribute values are
// cleared and the record, every string and every array it points to are freed. A server
// that leaves an array null costs the entries of that array, never a read through null.
class TConditionStateRecord {
public:
    TConditionStateRecord() noexcept = default;
    TConditionStateRecord(const TConditionStateRecord&) = delete;
    TConditionStateRecord& operator=(const TConditionStateRecord&) = delete;
    ~TConditionStateRecord() { Reset(); }

    OPCCONDITIONSTATE** Put() noexcept {
        Reset();
        return &FRecord;
    }
    OPCCONDITIONSTATE* Get() const noexcept { return FRecord; }
    void Reset() noexcept;

private:
    OPCCONDITIONSTATE* FRecord = nullptr;
};

} // namespace zelk::ae
