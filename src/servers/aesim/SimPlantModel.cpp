#include "SimPlantModel.h"

#include "opc_ae.h"

namespace zelk::aesim {

namespace {

QString L(const char* text) {
    return QString::fromLatin1(text);
}

TSimAttributeInfo Attr(DWORD id, const char* name, VARTYPE type) {
    return {id, L(name), type};
}

std::vector<TSimCategoryInfo> BuildCategories() {
    const TSimAttributeInfo areas = Attr(AttrAreas, "AREAS", VT_ARRAY | VT_BSTR);
    const TSimAttributeInfo ackComment = Attr(AttrAckComment, "ACK COMMENT", VT_BSTR);
    const TSimAttributeInfo cv = Attr(AttrCV, "CV", VT_R8);
    const TSimAttributeInfo loopDesc = Attr(AttrLoopDesc, "LOOP DESC", VT_BSTR);
    return {
        {CatSystemMessage, L("System Message"), OPC_SIMPLE_EVENT, {areas}},
        {CatDeviceFailure,
         L("Device Failure"),
         OPC_SIMPLE_EVENT,
         {areas, Attr(AttrErrorCode, "ERROR CODE", VT_I4)}},
        {CatOperatorProcessChange,
         L("Operator Process Change"),
         OPC_TRACKING_EVENT,
         {areas, Attr(AttrPrevValue, "PREV VALUE", VT_R8), Attr(AttrNewValue, "NEW VALUE", VT_R8)}},
        {CatLevel,
         L("Level"),
         OPC_CONDITION_EVENT,
         {areas, ackComment, cv, Attr(AttrHiHiLimit, "HI HI LIMIT", VT_R8),
          Attr(AttrHiLimit, "HI LIMIT", VT_R8), Attr(AttrLoLimit, "LO LIMIT", VT_R8),
          Attr(AttrLoLoLimit, "LO LO LIMIT", VT_R8), loopDesc}},
        {CatDeviation,
         L("Deviation"),
         OPC_CONDITION_EVENT,
         {areas, ackComment, cv, Attr(AttrSP, "SP", VT_R8),
          Attr(AttrDvHiLimit, "DV HI LIMIT", VT_R8), Attr(AttrDvLoLimit, "DV LO LIMIT", VT_R8),
          loopDesc}},
        {CatDiscrete, L("Discrete"), OPC_CONDITION_EVENT, {areas, ackComment, loopDesc}},
    };
}

std::vector<TSimConditionDef> BuildConditions() {
    return {
        {L("PVLEVEL"),
         CatLevel,
         {{L("HI HI"), L("CV >= HI HI LIMIT"), L("Level high high"), 900},
          {L("HI"), L("CV >= HI LIMIT"), L("Level high"), 700},
          {L("LO"), L("CV <= LO LIMIT"), L("Level low"), 700},
          {L("LO LO"), L("CV <= LO LO LIMIT"), L("Level low low"), 900}}},
        {L("DVLEVEL"),
         CatDeviation,
         {{L("DV HI"), L("CV - SP >= DV HI LIMIT"), L("Deviation high"), 500},
          {L("DV LO"), L("SP - CV >= DV LO LIMIT"), L("Deviation low"), 500}}},
        {L("CFN"), CatDiscrete, {{L("CFN"), L("Command failed"), L("Command failure"), 800}}},
        {L("TRIP"), CatDiscrete, {{L("TRIP"), L("Motor tripped"), L("Trip"), 850}}},
    };
}

struct TSourceSpec {
    const char* Area;
    const char* Tag;
    const char* Description;
    std::vector<TSimSourceConditionDef> Conditions;
};

std::vector<TSourceSpec> SourceSpecs() {
    const bool ack = true;
    const bool noAck = false;
    return {
        {"Plant1", "PLC1", "Plant controller", {{DefCfn, ack}}},
        {"Plant1.TankFarm",
         "LIC201",
         "Tank farm level control",
         {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"Plant1.TankFarm", "LIC202", "Buffer tank level control", {{DefPvLevel, ack}}},
        {"Plant1.TankFarm", "FIC203", "Transfer flow control", {{DefDvLevel, noAck}}},
        {"Plant1.TankFarm.Tank 1", "LI101", "Tank 1 level", {{DefPvLevel, ack}}},
        {"Plant1.TankFarm.Tank 1", "TI102", "Tank 1 temperature", {{DefPvLevel, ack}}},
        {"Plant1.TankFarm.Tank 1", "P101", "Tank 1 outlet pump", {{DefCfn, ack}, {DefTrip, ack}}},
        {"Plant1.TankFarm.Tank 2", "LI111", "Tank 2 level", {{DefPvLevel, ack}}},
        {"Plant1.TankFarm.Tank 2", "TI112", "Tank 2 temperature", {{DefPvLevel, noAck}}},
        {"Plant1.TankFarm.Tank 2", "P111", "Tank 2 outlet pump", {{DefCfn, ack}, {DefTrip, ack}}},
        {"Plant1.Reactor Area",
         "TIC301",
         "Reactor temperature control",
         {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"Plant1.Reactor Area",
         "PIC302",
         "Reactor pressure control",
         {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"Plant1.Reactor Area.Reactor 1",
         "TI311",
         "Reactor 1 jacket temperature",
         {{DefPvLevel, ack}}},
        {"Plant1.Reactor Area.Reactor 1",
         "AI312",
         "Reactor 1 oxygen analyser",
         {{DefPvLevel, ack}, {DefDvLevel, noAck}}},
        {"Plant1.Reactor Area.Reactor 1", "XV313", "Reactor 1 feed valve", {{DefCfn, ack}}},
        {"Plant1.Reactor Area.Reactor 1",
         "M314",
         "Reactor 1 agitator",
         {{DefTrip, ack}, {DefCfn, ack}}},
        {"Plant1.Utilities.Cooling Water",
         "TI401",
         "Cooling water supply temperature",
         {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"Plant1.Utilities.Cooling Water", "FI402", "Cooling water flow", {{DefDvLevel, noAck}}},
        {"Plant1.Utilities.Cooling Water", "P403", "Cooling water pump", {{DefTrip, ack}}},
        {"Plant1.Utilities.Steam",
         "PI411",
         "Steam header pressure",
         {{DefPvLevel, ack}, {DefDvLevel, ack}}},
        {"Plant1.Utilities.Steam", "FIC412", "Steam flow control", {{DefDvLevel, ack}}},
    };
}

} // namespace

int TSimConditionDef::FindSubCondition(const QString& name) const {
    for (std::size_t i = 0; i < SubConditions.size(); ++i)
        if (SubConditions[i].Name == name)
            return static_cast<int>(i);
    return -1;
}

const TSimCategoryInfo* TSimPlantModel::FindCategory(DWORD id) const {
    for (const TSimCategoryInfo& category : Categories)
        if (category.Id == id)
            return &category;
    return nullptr;
}

int TSimPlantModel::FindCondition(const QString& name) const {
    for (std::size_t i = 0; i < Conditions.size(); ++i)
        if (Conditions[i].Name == name)
            return static_cast<int>(i);
    return -1;
}

int TSimPlantModel::FindSource(const QString& name) const {
    return FSourceIndex.value(name, -1);
}

bool TSimPlantModel::HasArea(const QString& name) const {
    return FAreaSet.contains(name);
}

void TSimPlantModel::IndexNames() {
    FSourceIndex.clear();
    FSourceIndex.reserve(static_cast<qsizetype>(Sources.size()));
    // The first of two equal names wins, as a walk from the front would find it.
    for (std::size_t i = Sources.size(); i-- > 0;)
        FSourceIndex.insert(Sources[i].Name, static_cast<int>(i));
    FAreaSet = QSet<QString>(Areas.begin(), Areas.end());
}

QStringList TSimPlantModel::AreasOf(int source) const {
    QStringList areas;
    const QString& area = Sources[static_cast<std::size_t>(source)].Area;
    for (qsizetype dot = area.indexOf(QLatin1Char('.')); dot >= 0;
         dot = area.indexOf(QLatin1Char('.'), dot + 1))
        areas.append(area.left(dot));
    areas.append(area);
    return areas;
}

int TSimPlantModel::FindSourceCondition(int source, const QString& condition) const {
    const TSimSourceDef& def = Sources[static_cast<std::size_t>(source)];
    for (std::size_t i = 0; i < def.Conditions.size(); ++i)
        if (Conditions[static_cast<std::size_t>(def.Conditions[i].Definition)].Name == condition)
            return static_cast<int>(i);
    return -1;
}

TSimPlantModel EmptyPlantModel() {
    TSimPlantModel model;
    model.Categories = BuildCategories();
    model.Conditions = BuildConditions();
    return model;
}

TSimPlantModel DefaultPlantModel() {
    TSimPlantModel model = EmptyPlantModel();
    model.Areas = QStringList{L("Plant1"),
                              L("Plant1.TankFarm"),
                              L("Plant1.TankFarm.Tank 1"),
                              L("Plant1.TankFarm.Tank 2"),
                              L("Plant1.Reactor Area"),
                              L("Plant1.Reactor Area.Reactor 1"),
                              L("Plant1.Utilities"),
                              L("Plant1.Utilities.Cooling Water"),
                              L("Plant1.Utilities.Steam")};
    double offset = 0.0;
    for (const TSourceSpec& definition : SourceSpecs()) {
        TSimSourceDef source;
        source.Area = L(definition.Area);
        source.Name = source.Area + QLatin1Char('.') + L(definition.Tag);
        source.Description = L(definition.Description);
        source.Conditions = definition.Conditions;
        for (const TSimSourceConditionDef& condition : source.Conditions)
            if (condition.Definition == DefPvLevel || condition.Definition == DefDvLevel)
                source.HasSignal = true;
        if (source.HasSignal) {
            // Spread the starting values a little so the sources do not move in step.
            source.Signal.Initial = 45.0 + offset;
            source.Signal.Unit = definition.Tag[0] == 'T' ? L("degC") : L("%");
            offset = offset >= 9.0 ? 0.0 : offset + 1.5;
        }
        model.Sources.push_back(std::move(source));
    }
    model.IndexNames();
    return model;
}

} // namespace zelk::aesim
