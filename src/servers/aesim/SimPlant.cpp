#include "SimPlant.h"

#include "SimPlantState.h"
#include "opc_ae.h"
#include "safearray.h"

namespace zelk::aesim {

namespace {

zelk::com::ComVariant AreasVariant(const QStringList& areas) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(areas.size()));
    if (!array)
        throw std::bad_alloc();
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_BSTR;
    value.parray = array;
    zelk::com::ComVariant holder;
    holder.Attach(value);
    for (LONG i = 0; i < static_cast<LONG>(areas.size()); ++i) {
        zelk::com::BStr name(areas[i]);
        if (FAILED(SafeArrayPutElement(array, &i, name.Get())))
            throw std::bad_alloc();
    }
    return holder;
}

} // namespace

TSimPlant::TSimPlant(TSimPlantModel model, std::uint32_t seed, TSimClock& clock)
    : FModel(std::move(model)), FClock(clock), FRandom(seed) {
    FSources.resize(FModel.Sources.size());
    for (std::size_t s = 0; s < FModel.Sources.size(); ++s) {
        const TSimSourceDef& def = FModel.Sources[s];
        TSourceState& state = FSources[s];
        state.Value = def.Signal.Initial;
        state.SetPoint = def.Signal.SetPoint;
        state.AreaNames = FModel.AreasOf(static_cast<int>(s));
        state.Areas = AreasVariant(state.AreaNames);
        for (const TSimSourceConditionDef& sc : def.Conditions) {
            TCondition c;
            c.Source = static_cast<int>(s);
            c.Definition = sc.Definition;
            c.AckRequired = sc.AckRequired;
            c.Last.Value = state.Value;
            c.Last.SetPoint = state.SetPoint;
            state.Conditions.push_back(FConditions.size());
            FConditions.push_back(std::move(c));
        }
    }
}

TSimPlant::~TSimPlant() = default;

TSimPlant::TCondition* TSimPlant::Find(const QString& source, const QString& condition) {
    const int s = FModel.FindSource(source);
    if (s < 0)
        return nullptr;
    const int slot = FModel.FindSourceCondition(s, condition);
    if (slot < 0)
        return nullptr;
    return &FConditions[FSources[static_cast<std::size_t>(s)]
                            .Conditions[static_cast<std::size_t>(slot)]];
}

const TSimPlant::TCondition* TSimPlant::Find(const QString& source,
                                             const QString& condition) const {
    return const_cast<TSimPlant*>(this)->Find(source, condition);
}

bool TSimPlant::SourceEnabled(int source) const {
    const TSourceState& state = FSources[static_cast<std::size_t>(source)];
    if (state.Disabled)
        return false;
    for (const QString& area : state.AreaNames)
        if (FDisabledAreas.contains(area))
            return false;
    return true;
}

bool TSimPlant::Enabled(const TCondition& c) const {
    return SourceEnabled(c.Source);
}

WORD TSimPlant::StateOf(const TCondition& c) const {
    WORD state = 0;
    if (Enabled(c))
        state |= OPC_CONDITION_ENABLED;
    if (c.Active)
        state |= OPC_CONDITION_ACTIVE;
    if (c.Acked)
        state |= OPC_CONDITION_ACKED;
    return state;
}

void TSimPlant::Transition(TCondition& c, int sub, TSimNotifications& out) {
    if (!Enabled(c) || (sub < 0 && !c.Active) || (c.Active && sub == c.Sub))
        return;
    const TSimSourceDef& source = FModel.Sources[static_cast<std::size_t>(c.Source)];
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c.Definition)];
    const FILETIME now = FClock.Stamp();
    if (sub < 0) {
        c.Active = false;
        c.CondLastInactive = now;
        c.Message = source.Description + QStringLiteral(": back to normal");
    } else {
        const TSimSubConditionDef& subDef = def.SubConditions[static_cast<std::size_t>(sub)];
        if (!c.Active) {
            c.Active = true;
            c.CondLastActive = now;
            c.AckComment.clear();
            if (++FLastCookie == 0)
                FLastCookie = 1;
            c.Cookie = FLastCookie;
        }
        c.Sub = sub;
        c.ActiveTime = now;
        c.SubCondLastActive = now;
        c.Acked = !c.AckRequired;
        c.Severity = subDef.Severity;
        c.Message = source.Description + QStringLiteral(": ") + subDef.Description;
    }
    Report(c, now, QString(), out);
}

void TSimPlant::Report(TCondition& c, const FILETIME& time, const QString& actor,
                       TSimNotifications& out) {
    c.LastChange = time;
    c.LastActor = actor;
    const TSourceState& source = FSources[static_cast<std::size_t>(c.Source)];
    TReport now;
    now.State = StateOf(c);
    now.Severity = c.Severity;
    now.SubCondition = SubConditionName(c);
    now.Message = c.Message;
    now.Value = source.Value;
    now.SetPoint = source.SetPoint;
    now.AckComment = c.AckComment;

    const WORD changed = now.State ^ c.Last.State;
    WORD mask = 0;
    if (changed & OPC_CONDITION_ENABLED)
        mask |= OPC_CHANGE_ENABLE_STATE;
    if (changed & OPC_CONDITION_ACTIVE)
        mask |= OPC_CHANGE_ACTIVE_STATE;
    // Only an acknowledgement reports the acknowledged state as changed; a new activation
    // that wants acknowledgement again says so through the state and bAckRequired.
    if ((changed & OPC_CONDITION_ACKED) && (now.State & OPC_CONDITION_ACKED))
        mask |= OPC_CHANGE_ACK_STATE;
    if (now.Severity != c.Last.Severity)
        mask |= OPC_CHANGE_SEVERITY;
    if (now.SubCondition != c.Last.SubCondition)
        mask |= OPC_CHANGE_SUBCONDITION;
    if (now.Message != c.Last.Message)
        mask |= OPC_CHANGE_MESSAGE;
    const bool signal = FModel.Sources[static_cast<std::size_t>(c.Source)].HasSignal;
    if ((signal && (now.Value != c.Last.Value || now.SetPoint != c.Last.SetPoint)) ||
        now.AckComment != c.Last.AckComment)
        mask |= OPC_CHANGE_ATTRIBUTE;
    c.Last = now;
    FLastUpdate = time;
    out.push_back(Describe(c, mask));
}

QString TSimPlant::SubConditionName(const TCondition& c) const {
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c.Definition)];
    if (c.Sub >= 0)
        return def.SubConditions[static_cast<std::size_t>(c.Sub)].Name;
    // A single-state condition's sub-condition is the condition itself; a multi-state
    // one that was never active has none yet.
    return def.SubConditions.size() == 1 ? def.Name : QString();
}

TSimNotification TSimPlant::Describe(const TCondition& c, WORD changeMask) const {
    const TSimSourceDef& source = FModel.Sources[static_cast<std::size_t>(c.Source)];
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c.Definition)];
    TSimNotification n;
    n.ChangeMask = changeMask;
    n.NewState = StateOf(c);
    n.Source = source.Name;
    n.Time = c.LastChange;
    n.Message = c.Message;
    n.EventType = OPC_CONDITION_EVENT;
    n.EventCategory = def.CategoryId;
    n.Severity = c.Severity;
    n.ConditionName = def.Name;
    n.SubconditionName = SubConditionName(c);
    n.Quality = OPC_QUALITY_GOOD;
    n.AckRequired = c.AckRequired && !c.Acked && Enabled(c);
    n.ActiveTime = c.ActiveTime;
    n.Cookie = c.Cookie;
    n.ActorID = c.LastActor;
    n.Attributes = ConditionAttributes(c);
    n.Areas = FSources[static_cast<std::size_t>(c.Source)].AreaNames;
    return n;
}

std::vector<TSimAttributeValue> TSimPlant::ConditionAttributes(const TCondition& c) const {
    const TSimSourceDef& source = FModel.Sources[static_cast<std::size_t>(c.Source)];
    const TSourceState& state = FSources[static_cast<std::size_t>(c.Source)];
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c.Definition)];
    const TSimCategoryInfo* category = FModel.FindCategory(def.CategoryId);
    std::vector<TSimAttributeValue> values;
    values.reserve(category->Attributes.size());
    for (const TSimAttributeInfo& attribute : category->Attributes) {
        TSimAttributeValue value;
        value.Id = attribute.Id;
        switch (attribute.Id) {
        case AttrAreas:
            value.Value = state.Areas;
            break;
        case AttrAckComment:
            value.Value = zelk::com::ComVariant(c.AckComment);
            break;
        case AttrCV:
            value.Value = zelk::com::ComVariant(state.Value);
            break;
        case AttrHiHiLimit:
            value.Value = zelk::com::ComVariant(source.Signal.HiHi);
            break;
        case AttrHiLimit:
            value.Value = zelk::com::ComVariant(source.Signal.Hi);
            break;
        case AttrLoLimit:
            value.Value = zelk::com::ComVariant(source.Signal.Lo);
            break;
        case AttrLoLoLimit:
            value.Value = zelk::com::ComVariant(source.Signal.LoLo);
            break;
        case AttrSP:
            value.Value = zelk::com::ComVariant(state.SetPoint);
            break;
        case AttrDvHiLimit:
        case AttrDvLoLimit:
            value.Value = zelk::com::ComVariant(source.Signal.DeviationLimit);
            break;
        case AttrLoopDesc:
            value.Value = zelk::com::ComVariant(source.Description);
            break;
        default:
            break;
        }
        values.push_back(std::move(value));
    }
    return values;
}

TSimNotification TSimPlant::EventOf(int source, DWORD category, const QString& message,
                                    DWORD severity, const QString& actor) {
    const TSimCategoryInfo* info = FModel.FindCategory(category);
    TSimNotification n;
    n.Source = FModel.Sources[static_cast<std::size_t>(source)].Name;
    n.Time = FClock.Stamp();
    n.Message = message;
    n.EventType = info->EventType;
    n.EventCategory = category;
    n.Severity = severity;
    n.ActorID = actor;
    n.Areas = FSources[static_cast<std::size_t>(source)].AreaNames;
    for (const TSimAttributeInfo& attribute : info->Attributes) {
        TSimAttributeValue value;
        value.Id = attribute.Id;
        if (attribute.Id == AttrAreas)
            value.Value = FSources[static_cast<std::size_t>(source)].Areas;
        n.Attributes.push_back(std::move(value));
    }
    FLastUpdate = n.Time;
    return n;
}

bool TSimPlant::SourceEffectivelyEnabled(const QString& source) const {
    std::lock_guard lock(FLock);
    const int s = FModel.FindSource(source);
    return s >= 0 && SourceEnabled(s);
}

std::optional<TSimConditionStateInfo> TSimPlant::ConditionState(const QString& source,
                                                                const QString& condition) const {
    std::lock_guard lock(FLock);
    const TCondition* c = Find(source, condition);
    if (!c)
        return std::nullopt;
    const TSimConditionDef& def = FModel.Conditions[static_cast<std::size_t>(c->Definition)];
    TSimConditionStateInfo info;
    info.State = StateOf(*c);
    info.ActiveSubCondition = c->Active ? c->Sub : -1;
    info.SubConditions = def.SubConditions;
    info.Quality = OPC_QUALITY_GOOD;
    info.LastAckTime = c->LastAckTime;
    info.SubCondLastActive = c->SubCondLastActive;
    info.CondLastActive = c->CondLastActive;
    info.CondLastInactive = c->CondLastInactive;
    if (c->EverAcked) {
        info.AcknowledgerID = c->Acknowledger;
        info.Comment = c->AckerComment;
    }
    info.ActiveTime = c->ActiveTime;
    info.Cookie = c->Cookie;
    info.AckRequired = c->AckRequired && !c->Acked && Enabled(*c);
    info.Attributes = ConditionAttributes(*c);
    return info;
}

TSimNotifications TSimPlant::RefreshSnapshot() const {
    std::lock_guard lock(FLock);
    TSimNotifications snapshot;
    for (const TCondition& c : FConditions)
        if (Enabled(c) && (c.Active || !c.Acked))
            snapshot.push_back(Describe(c, 0));
    return snapshot;
}

FILETIME TSimPlant::LastUpdateTime() const {
    std::lock_guard lock(FLock);
    return FLastUpdate;
}

} // namespace zelk::aesim
