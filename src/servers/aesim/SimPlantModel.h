#pragma once

// The simulated plant as it is built: process areas, sources, event categories with
// their attributes, and condition definitions. Fixed once built; the changing state
// lives in TSimPlant.

#include "SimCatalog.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace zelk::aesim {

// Attribute ids, unique across the server.
enum : DWORD {
    AttrAreas = 1,
    AttrAckComment = 2,
    AttrCV = 3,
    AttrHiHiLimit = 4,
    AttrHiLimit = 5,
    AttrLoLimit = 6,
    AttrLoLoLimit = 7,
    AttrSP = 8,
    AttrDvHiLimit = 9,
    AttrDvLoLimit = 10,
    AttrPrevValue = 11,
    AttrNewValue = 12,
    AttrErrorCode = 13,
    AttrLoopDesc = 14,
};

// Category ids, unique across the server.
enum : DWORD {
    CatSystemMessage = 100,
    CatDeviceFailure = 101,
    CatOperatorProcessChange = 200,
    CatLevel = 300,
    CatDeviation = 301,
    CatDiscrete = 302,
};

// The condition definitions of every plant, by their index in TSimPlantModel::Conditions.
enum : int { DefPvLevel, DefDvLevel, DefCfn, DefTrip };

struct TSimSubConditionDef {
    QString Name;
    QString Definition;
    QString Description;
    DWORD Severity = 0;
};

// A condition as the server defines it; every source that has the condition shares
// the definition. A single-state condition has one sub-condition named like itself.
struct TSimConditionDef {
    QString Name;
    DWORD CategoryId = 0;
    std::vector<TSimSubConditionDef> SubConditions;
    int FindSubCondition(const QString& name) const;
};

// The limits of the analog value behind the level and deviation conditions.
struct TSimSignalDef {
    double Initial = 50.0;
    double HiHi = 90.0;
    double Hi = 75.0;
    double Lo = 25.0;
    double LoLo = 10.0;
    double SetPoint = 50.0;
    double DeviationLimit = 15.0;
    double Hysteresis = 2.0;
    QString Unit;
};

struct TSimSourceConditionDef {
    int Definition = 0; // index into TSimPlantModel::Conditions
    bool AckRequired = true;
};

struct TSimSourceDef {
    QString Name;        // fully qualified: "Plant1.TankFarm.LIC201"
    QString Area;        // the area that holds it, fully qualified
    QString Description; // "LOOP DESC"
    std::vector<TSimSourceConditionDef> Conditions;
    bool HasSignal = false;
    TSimSignalDef Signal;
};

struct TSimPlantModel {
    std::vector<TSimCategoryInfo> Categories; // simple, tracking, then condition categories
    std::vector<TSimConditionDef> Conditions;
    QStringList Areas; // fully qualified, every parent before its children
    std::vector<TSimSourceDef> Sources;

    const TSimCategoryInfo* FindCategory(DWORD id) const;
    int FindCondition(const QString& name) const;
    int FindSource(const QString& name) const;
    bool HasArea(const QString& name) const;
    // The areas a source lies in, outermost first, innermost last.
    QStringList AreasOf(int source) const;
    // The index of `condition` among the source's conditions, or -1.
    int FindSourceCondition(int source, const QString& condition) const;
    // Builds the look-ups of FindSource and HasArea; every builder calls it last, so that
    // a plant of many thousand sources answers by name without a walk.
    void IndexNames();

private:
    QHash<QString, int> FSourceIndex;
    QSet<QString> FAreaSet;
};

// The categories and condition definitions of every plant, without areas or sources.
TSimPlantModel EmptyPlantModel();

// The default plant: deterministic, three area levels below the root areas, about
// twenty sources and thirty conditions.
TSimPlantModel DefaultPlantModel();

// A generated plant of `areas` process areas (root areas "Plant1", "Plant2"... with units,
// sections, lines and cells below, at most five levels deep) and `sources` sources spread
// over them, each a level, temperature, flow or pressure loop, a pump, a valve or a motor
// with the default plant's conditions (about 1.4 per source). Deterministic for the three
// arguments. Both counts are taken between 1 and their maximum.
inline constexpr int MaxGeneratedAreas = 100'000;
inline constexpr int MaxGeneratedSources = 200'000;
TSimPlantModel GeneratedPlantModel(int areas, int sources, std::uint32_t seed);

} // namespace zelk::aesim
