// TSimPlant's changes from outside the simulation: direct control by tests, and
// acknowledgement and enabling through the server.

#include "SimPlant.h"
#include "SimPlantState.h"
#include "opc_ae.h"
#include "opcerror.h"

namespace zelk::aesim {

namespace {

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

// ---- Direct control ----

bool TSimPlant::Activate(const QString& source, const QString& condition,
                         const QString& subCondition, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    TCondition* c = Find(source, condition);
    if (!c || c->Active || !Enabled(*c))
        return false;
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c->Definition)];
    const int sub = subCondition.isEmpty() ? 0 : def.FindSubCondition(subCondition);
    if (sub < 0)
        return false;
    c->Forced = true;
    Transition(*c, sub, out);
    return true;
}

bool TSimPlant::ChangeSubCondition(const QString& source, const QString& condition,
                                   const QString& subCondition, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    TCondition* c = Find(source, condition);
    if (!c || !c->Active || !Enabled(*c))
        return false;
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c->Definition)];
    const int sub = def.FindSubCondition(subCondition);
    if (sub < 0 || sub == c->Sub)
        return false;
    c->Forced = true;
    Transition(*c, sub, out);
    return true;
}

bool TSimPlant::ReturnToNormal(const QString& source, const QString& condition,
                               TSimNotifications& out) {
    std::lock_guard lock(FLock);
    TCondition* c = Find(source, condition);
    if (!c || !c->Active || !Enabled(*c))
        return false;
    c->Forced = false;
    Transition(*c, -1, out);
    return true;
}

bool TSimPlant::FireSimpleEvent(const QString& source, DWORD category, const QString& message,
                                DWORD severity, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    const int s = FModel.FindSource(source);
    const TSimCategoryInfo* info = FModel.FindCategory(category);
    if (s < 0 || !info || info->EventType != OPC_SIMPLE_EVENT || severity < 1 || severity > 1000)
        return false;
    TSimNotification n = EventOf(s, category, message, severity, QString());
    for (TSimAttributeValue& value : n.Attributes)
        if (value.Id == AttrErrorCode)
            value.Value = zelk::com::ComVariant(LONG{0});
    out.push_back(std::move(n));
    return true;
}

bool TSimPlant::FireTrackingEvent(const QString& source, const QString& actor,
                                  const QString& message, double previousValue, double newValue,
                                  DWORD severity, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    const int s = FModel.FindSource(source);
    if (s < 0 || severity < 1 || severity > 1000)
        return false;
    TSimNotification n = EventOf(s, CatOperatorProcessChange, message, severity, actor);
    for (TSimAttributeValue& value : n.Attributes) {
        if (value.Id == AttrPrevValue)
            value.Value = zelk::com::ComVariant(previousValue);
        else if (value.Id == AttrNewValue)
            value.Value = zelk::com::ComVariant(newValue);
    }
    out.push_back(std::move(n));
    return true;
}

bool TSimPlant::SetProcessValue(const QString& source, double value, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    const int s = FModel.FindSource(source);
    if (s < 0 || !FModel.Sources[static_cast<std::size_t>(s)].HasSignal)
        return false;
    TSourceState& state = FSources[static_cast<std::size_t>(s)];
    state.Value = value;
    for (std::size_t index : state.Conditions)
        FConditions[index].Forced = false;
    Follow(s, out);
    return true;
}

std::optional<double> TSimPlant::ProcessValue(const QString& source) const {
    std::lock_guard lock(FLock);
    const int s = FModel.FindSource(source);
    if (s < 0 || !FModel.Sources[static_cast<std::size_t>(s)].HasSignal)
        return std::nullopt;
    return FSources[static_cast<std::size_t>(s)].Value;
}

// ---- Through the server ----

HRESULT TSimPlant::Acknowledge(const QString& source, const QString& condition,
                               const FILETIME& activeTime, DWORD cookie,
                               const QString& acknowledger, const QString& comment,
                               TSimNotifications& out) {
    std::lock_guard lock(FLock);
    TCondition* c = Find(source, condition);
    if (!c || cookie == 0 || cookie != c->Cookie || !Enabled(*c))
        return E_INVALIDARG;
    // The exact time of the latest transition: an acknowledgement of an earlier one (the
    // operator saw "HI", the condition has since gone to "HI HI") must not count.
    if (!SameTime(activeTime, c->ActiveTime))
        return OPC_E_INVALIDTIME;
    if (c->Acked)
        return OPC_S_ALREADYACKED;
    const FILETIME now = FClock.Stamp();
    c->Acked = true;
    c->LastAckTime = now;
    c->EverAcked = true;
    c->Acknowledger = acknowledger;
    c->AckerComment = comment;
    c->AckComment = comment;
    Report(*c, now, acknowledger, out);
    return S_OK;
}

void TSimPlant::EnableChanged(const std::vector<bool>& before, TSimNotifications& out) {
    for (std::size_t s = 0; s < FSources.size(); ++s) {
        const bool enabled = SourceEnabled(static_cast<int>(s));
        if (enabled == before[s])
            continue;
        const QString& description = FModel.Sources[s].Description;
        for (std::size_t index : FSources[s].Conditions) {
            TCondition& c = FConditions[index];
            const QString& name = FModel.Conditions[static_cast<std::size_t>(c.Definition)].Name;
            const FILETIME now = FClock.Stamp();
            if (!enabled) {
                // A disabled condition is not evaluated: it leaves its alarm state and
                // comes back inactive and acknowledged.
                if (c.Active)
                    c.CondLastInactive = now;
                c.Active = false;
                c.Acked = true;
                c.Forced = false;
                c.Message = description + QStringLiteral(": ") + name + QStringLiteral(" disabled");
            } else {
                c.Message = description + QStringLiteral(": ") + name + QStringLiteral(" enabled");
            }
            Report(c, now, QString(), out);
        }
        if (enabled)
            Follow(static_cast<int>(s), out);
    }
}

HRESULT TSimPlant::SetAreasEnabled(const QStringList& areas, bool enabled, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    for (const QString& area : areas)
        if (!FModel.HasArea(area))
            return E_INVALIDARG;
    std::vector<bool> before;
    for (std::size_t s = 0; s < FSources.size(); ++s)
        before.push_back(SourceEnabled(static_cast<int>(s)));
    for (const QString& area : areas) {
        if (enabled)
            FDisabledAreas.remove(area);
        else
            FDisabledAreas.insert(area);
    }
    EnableChanged(before, out);
    return S_OK;
}

HRESULT TSimPlant::SetSourcesEnabled(const QStringList& sources, bool enabled,
                                     TSimNotifications& out) {
    std::lock_guard lock(FLock);
    std::vector<int> indexes;
    for (const QString& source : sources) {
        const int s = FModel.FindSource(source);
        if (s < 0)
            return E_INVALIDARG;
        indexes.push_back(s);
    }
    std::vector<bool> before;
    for (std::size_t s = 0; s < FSources.size(); ++s)
        before.push_back(SourceEnabled(static_cast<int>(s)));
    for (int s : indexes)
        FSources[static_cast<std::size_t>(s)].Disabled = !enabled;
    EnableChanged(before, out);
    return S_OK;
}

} // namespace zelk::aesim
