// Generated plants of any size: an area tree below a few root areas and sources of the
// kinds the default plant has, laid out from a seed so that the same size and seed
// always give the same plant.

#include "SimPlantModel.h"

#include <algorithm>
#include <random>

namespace zelk::aesim {

namespace {

// Draws that read the same on every standard library, unlike std's distributions.
class TDraw {
public:
    explicit TDraw(std::uint32_t seed) : FRandom(seed) {}
    // 0 <= result < n, for n >= 1.
    int Below(std::size_t n) {
        return static_cast<int>((static_cast<std::uint64_t>(FRandom()) * n) >> 32);
    }

private:
    std::mt19937 FRandom;
};

struct TSourceKind {
    const char* Prefix;
    const char* What;
    const char* Unit; // null: no analog value
    std::vector<TSimSourceConditionDef> Conditions;
};

const std::vector<TSourceKind>& SourceKinds() {
    const bool ack = true;
    const bool noAck = false;
    static const std::vector<TSourceKind> kinds = {
        {"LIC", "Level control", "%", {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"LI", "Level", "%", {{DefPvLevel, ack}}},
        {"TI", "Temperature", "degC", {{DefPvLevel, ack}}},
        {"TIC", "Temperature control", "degC", {{DefPvLevel, ack}, {DefDvLevel, noAck}}},
        {"FIC", "Flow control", "%", {{DefDvLevel, noAck}}},
        {"PI", "Pressure", "%", {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"P", "Pump", nullptr, {{DefCfn, ack}, {DefTrip, ack}}},
        {"XV", "Valve", nullptr, {{DefCfn, ack}}},
        {"M", "Motor", nullptr, {{DefTrip, ack}}},
    };
    return kinds;
}

// The name of an area by its level below the root areas; siblings are numbered.
const char* const LevelNames[] = {"Unit", "Section", "Line", "Cell"};
constexpr int DeepestLevel = static_cast<int>(std::size(LevelNames));
// One root area per this many areas.
constexpr int AreasPerRoot = 500;

void AddAreas(TSimPlantModel& model, int count, TDraw& draw) {
    const int roots = std::max(1, count / AreasPerRoot);
    std::vector<int> level;
    std::vector<int> children;
    // The areas that may still have children, by index.
    std::vector<int> open;
    level.reserve(static_cast<std::size_t>(count));
    children.reserve(static_cast<std::size_t>(count));
    model.Areas.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (i < roots) {
            model.Areas.append(QStringLiteral("Plant%1").arg(i + 1));
            level.push_back(0);
        } else {
            // A parent picked among the earlier areas keeps every parent before its
            // children in the list.
            const int parent = open[static_cast<std::size_t>(draw.Below(open.size()))];
            const int depth = level[static_cast<std::size_t>(parent)];
            const int number = ++children[static_cast<std::size_t>(parent)];
            model.Areas.append(QStringLiteral("%1.%2 %3")
                                   .arg(model.Areas[parent], QString::fromLatin1(LevelNames[depth]),
                                        QString::number(number)));
            level.push_back(depth + 1);
        }
        children.push_back(0);
        if (level.back() < DeepestLevel)
            open.push_back(i);
    }
}

void AddSources(TSimPlantModel& model, int count, TDraw& draw) {
    const std::vector<TSourceKind>& kinds = SourceKinds();
    model.Sources.reserve(static_cast<std::size_t>(count));
    double offset = 0.0;
    for (int i = 0; i < count; ++i) {
        const TSourceKind& kind = kinds[static_cast<std::size_t>(draw.Below(kinds.size()))];
        // Numbers are unique across the plant, so every qualified name is too.
        const QString number = QString::number(1000 + i);
        TSimSourceDef source;
        source.Area = model.Areas[draw.Below(static_cast<std::size_t>(model.Areas.size()))];
        source.Name = source.Area + QLatin1Char('.') + QLatin1String(kind.Prefix) + number;
        source.Description = QLatin1String(kind.What) + QLatin1Char(' ') + number;
        source.Conditions = kind.Conditions;
        source.HasSignal = kind.Unit != nullptr;
        if (source.HasSignal) {
            source.Signal.Initial = 45.0 + offset;
            source.Signal.Unit = QString::fromLatin1(kind.Unit);
            offset = offset >= 9.0 ? 0.0 : offset + 1.5;
        }
        model.Sources.push_back(std::move(source));
    }
}

} // namespace

TSimPlantModel GeneratedPlantModel(int areas, int sources, std::uint32_t seed) {
    TSimPlantModel model = EmptyPlantModel();
    TDraw draw(seed);
    AddAreas(model, std::clamp(areas, 1, MaxGeneratedAreas), draw);
    AddSources(model, std::clamp(sources, 1, MaxGeneratedSources), draw);
    model.IndexNames();
    return model;
}

} // namespace zelk::aesim
