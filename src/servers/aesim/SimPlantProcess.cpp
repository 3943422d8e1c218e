// The process simulation of TSimPlant: drifting values, random discrete alarms, simple
// and tracking events, and the flood generator.

#include "SimPlant.h"
#include "SimPlantState.h"
#include "opc_ae.h"

#include <algorithm>

namespace zelk::aesim {

namespace {

// Sub-condition indexes in the order the definitions list them.
enum { LevelHiHi, LevelHi, LevelLo, LevelLoLo };
enum { DeviationHi, DeviationLo };

// Pull toward the set point per step, and the size of the random push.
constexpr double Reversion = 0.03;
constexpr double Push = 3.0;

constexpr double DiscreteActivation = 0.002;
constexpr double DiscreteReturn = 0.05;
constexpr double SystemMessageChance = 0.01;
constexpr double DeviceFailureChance = 0.004;
constexpr double SetPointChangeChance = 0.008;

const char* const SystemMessages[] = {
    "Operator station OS2 logged on",
    "Controller redundancy check passed",
    "Historian archive switched",
    "Shift report printed",
};

QString Number(double value) {
    return QString::number(value, 'f', 1);
}

} // namespace

double TSimPlant::Uniform() {
    return static_cast<double>(FRandom()) / 4294967296.0;
}

int TSimPlant::LevelBand(const TCondition& c, double value) const {
    const TSimSignalDef& signal = FModel.Sources[static_cast<std::size_t>(c.Source)].Signal;
    const int current = c.Active ? c.Sub : -1;
    // Leaving a band needs the value to move back past the limit by the hysteresis.
    const double h = signal.Hysteresis;
    const double hiHi = signal.HiHi - (current == LevelHiHi ? h : 0.0);
    const double hi = signal.Hi - (current == LevelHiHi || current == LevelHi ? h : 0.0);
    const double loLo = signal.LoLo + (current == LevelLoLo ? h : 0.0);
    const double lo = signal.Lo + (current == LevelLoLo || current == LevelLo ? h : 0.0);
    if (value >= hiHi)
        return LevelHiHi;
    if (value >= hi)
        return LevelHi;
    if (value <= loLo)
        return LevelLoLo;
    if (value <= lo)
        return LevelLo;
    return -1;
}

int TSimPlant::DeviationBand(const TCondition& c, double value, double setPoint) const {
    const TSimSignalDef& signal = FModel.Sources[static_cast<std::size_t>(c.Source)].Signal;
    const int current = c.Active ? c.Sub : -1;
    const double h = signal.Hysteresis;
    const double high = signal.DeviationLimit - (current == DeviationHi ? h : 0.0);
    const double low = signal.DeviationLimit - (current == DeviationLo ? h : 0.0);
    if (value - setPoint >= high)
        return DeviationHi;
    if (setPoint - value >= low)
        return DeviationLo;
    return -1;
}

void TSimPlant::Follow(int source, TSimNotifications& out) {
    const TSourceState& state = FSources[static_cast<std::size_t>(source)];
    for (std::size_t index : state.Conditions) {
        TCondition& c = FConditions[index];
        if (c.Forced)
            continue;
        const DWORD category = FModel.Conditions[static_cast<std::size_t>(c.Definition)].CategoryId;
        if (category == CatLevel)
            Transition(c, LevelBand(c, state.Value), out);
        else if (category == CatDeviation)
            Transition(c, DeviationBand(c, state.Value, state.SetPoint), out);
    }
}

void TSimPlant::Step(TSimNotifications& out) {
    std::lock_guard lock(FLock);
    for (std::size_t s = 0; s < FSources.size(); ++s) {
        if (!FModel.Sources[s].HasSignal)
            continue;
        TSourceState& state = FSources[s];
        // The sum of four uniform draws is close enough to a normal distribution and
        // reads the same on every standard library, unlike std::normal_distribution.
        const double noise = (Uniform() + Uniform() + Uniform() + Uniform() - 2.0) * 2.0;
        state.Value += Reversion * (state.SetPoint - state.Value) + Push * noise;
        state.Value = std::clamp(state.Value, 0.0, 100.0);
        Follow(static_cast<int>(s), out);
    }
    for (TCondition& c : FConditions) {
        if (FModel.Conditions[static_cast<std::size_t>(c.Definition)].CategoryId != CatDiscrete ||
            c.Forced)
            continue;
        const double draw = Uniform();
        if (!c.Active && draw < DiscreteActivation)
            Transition(c, 0, out);
        else if (c.Active && draw < DiscreteReturn)
            Transition(c, -1, out);
    }
    StepRandomEvents(out);
}

void TSimPlant::StepRandomEvents(TSimNotifications& out) {
    const int sourceCount = static_cast<int>(FSources.size());
    if (Uniform() < SystemMessageChance) {
        const std::size_t pick = FRandom() % std::size(SystemMessages);
        out.push_back(EventOf(0, CatSystemMessage, QString::fromLatin1(SystemMessages[pick]), 100,
                              QString()));
    }
    if (Uniform() < DeviceFailureChance) {
        const int source = static_cast<int>(FRandom() % static_cast<unsigned>(sourceCount));
        const LONG code = static_cast<LONG>(FRandom() % 90 + 10);
        TSimNotification n =
            EventOf(source, CatDeviceFailure,
                    FModel.Sources[static_cast<std::size_t>(source)].Description +
                        QStringLiteral(": device failure, error code ") + QString::number(code),
                    600, QString());
        for (TSimAttributeValue& value : n.Attributes)
            if (value.Id == AttrErrorCode)
                value.Value = zelk::com::ComVariant(code);
        out.push_back(std::move(n));
    }
    if (Uniform() < SetPointChangeChance) {
        const int source = static_cast<int>(FRandom() % static_cast<unsigned>(sourceCount));
        if (!FModel.Sources[static_cast<std::size_t>(source)].HasSignal)
            return;
        TSourceState& state = FSources[static_cast<std::size_t>(source)];
        const double previous = state.SetPoint;
        const double next = std::clamp(previous + (Uniform() < 0.5 ? -5.0 : 5.0), 35.0, 65.0);
        if (next == previous)
            return;
        state.SetPoint = next;
        TSimNotification n = EventOf(
            source, CatOperatorProcessChange,
            QStringLiteral("Set point changed from %1 to %2").arg(Number(previous), Number(next)),
            200, QStringLiteral("OPERATOR1"));
        for (TSimAttributeValue& value : n.Attributes) {
            if (value.Id == AttrPrevValue)
                value.Value = zelk::com::ComVariant(previous);
            else if (value.Id == AttrNewValue)
                value.Value = zelk::com::ComVariant(next);
        }
        out.push_back(std::move(n));
    }
}

void TSimPlant::Flood(int count, TSimNotifications& out) {
    std::lock_guard lock(FLock);
    out.reserve(out.size() + static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        if (i % 10 == 9) {
            out.push_back(
                EventOf(0, CatSystemMessage, QStringLiteral("Flood message"), 100, QString()));
            continue;
        }
        TCondition& c = FConditions[FFloodNext];
        FFloodNext = (FFloodNext + 1) % FConditions.size();
        const std::size_t subs =
            FModel.Conditions[static_cast<std::size_t>(c.Definition)].SubConditions.size();
        if (c.Active) {
            c.Forced = false;
            Transition(c, -1, out);
        } else {
            c.Forced = true;
            Transition(c, static_cast<int>((c.Cookie + 1) % subs), out);
        }
    }
}

} // namespace zelk::aesim
