// What the server tells about its event space: categories, conditions, attributes, item
// ids, and the shape of the default plant.

#include "SimServerTestSupport.h"
#include "bstr.h"
#include "comholders.h"
#include "opcerror.h"

#include <functional>
#include <set>

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

const QString Lic201 = S("Plant1.TankFarm.LIC201");

// Takes over a returned string array: its texts, then frees it.
QStringList TakeStrings(LPWSTR* strings, DWORD count) {
    QStringList texts;
    for (DWORD i = 0; i < count; ++i) {
        texts.append(zelk::com::ToQString(strings[i]));
        CoTaskMemFree(strings[i]);
    }
    CoTaskMemFree(strings);
    return texts;
}

struct TCategories {
    HRESULT Result = E_FAIL;
    std::vector<DWORD> Ids;
    QStringList Names;
};

TCategories Categories(IOPCEventServer* server, DWORD eventType) {
    TCategories answer;
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* names = nullptr;
    answer.Result = server->QueryEventCategories(eventType, &count, &ids, &names);
    answer.Ids.assign(ids, ids + count);
    answer.Names = TakeStrings(names, count);
    CoTaskMemFree(ids);
    return answer;
}

QStringList SubConditions(IOPCEventServer* server, const QString& condition, HRESULT& hr) {
    zelk::com::BStr name(condition);
    DWORD count = 0;
    LPWSTR* names = nullptr;
    hr = server->QuerySubConditionNames(name.Get(), &count, &names);
    return TakeStrings(names, count);
}

} // namespace

TEST(SimServerQuery, CategoriesByEventType) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    struct TRow {
        DWORD EventType;
        HRESULT Result;
        QStringList Names;
    };
    const std::vector<TRow> rows = {
        {OPC_SIMPLE_EVENT, S_OK, {S("System Message"), S("Device Failure")}},
        {OPC_TRACKING_EVENT, S_OK, {S("Operator Process Change")}},
        {OPC_CONDITION_EVENT, S_OK, {S("Level"), S("Deviation"), S("Discrete")}},
        {OPC_SIMPLE_EVENT | OPC_CONDITION_EVENT,
         S_OK,
         {S("System Message"), S("Device Failure"), S("Level"), S("Deviation"), S("Discrete")}},
        {0, E_INVALIDARG, {}},
        {8, E_INVALIDARG, {}},
        {OPC_ALL_EVENTS | 0x10, E_INVALIDARG, {}},
    };
    for (const TRow& row : rows) {
        const TCategories answer = Categories(rig.Server.Get(), row.EventType);
        EXPECT_EQ(answer.Result, row.Result) << "event type " << row.EventType;
        EXPECT_EQ(answer.Names, row.Names) << "event type " << row.EventType;
    }
    const TCategories all = Categories(rig.Server.Get(), OPC_ALL_EVENTS);
    EXPECT_EQ(std::set<DWORD>(all.Ids.begin(), all.Ids.end()).size(), 6u) << "ids are unique";
}

TEST(SimServerQuery, ConditionsSubConditionsAndSources) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    DWORD count = 0;
    LPWSTR* names = nullptr;
    ASSERT_EQ(rig.Server->QueryConditionNames(CatDiscrete, &count, &names), S_OK);
    EXPECT_EQ(TakeStrings(names, count), QStringList({S("CFN"), S("TRIP")}));
    ASSERT_EQ(rig.Server->QueryConditionNames(CatLevel, &count, &names), S_OK);
    EXPECT_EQ(TakeStrings(names, count), QStringList{S("PVLEVEL")});
    EXPECT_EQ(rig.Server->QueryConditionNames(CatSystemMessage, &count, &names), E_INVALIDARG)
        << "not a condition category";
    EXPECT_EQ(rig.Server->QueryConditionNames(4711, &count, &names), E_INVALIDARG);
    EXPECT_EQ(names, nullptr);

    HRESULT hr = E_FAIL;
    EXPECT_EQ(SubConditions(rig.Server.Get(), S("PVLEVEL"), hr),
              QStringList({S("HI HI"), S("HI"), S("LO"), S("LO LO")}));
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(SubConditions(rig.Server.Get(), S("DVLEVEL"), hr),
              QStringList({S("DV HI"), S("DV LO")}));
    EXPECT_EQ(SubConditions(rig.Server.Get(), S("TRIP"), hr), QStringList{S("TRIP")})
        << "a single-state condition is its own sub-condition";
    SubConditions(rig.Server.Get(), S("NOPE"), hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(rig.Server->QuerySubConditionNames(nullptr, &count, &names), E_INVALIDARG);

    zelk::com::BStr source(Lic201);
    ASSERT_EQ(rig.Server->QuerySourceConditions(source.Get(), &count, &names), S_OK);
    EXPECT_EQ(TakeStrings(names, count), QStringList({S("PVLEVEL"), S("DVLEVEL")}));
    zelk::com::BStr area(S("Plant1.TankFarm"));
    EXPECT_EQ(rig.Server->QuerySourceConditions(area.Get(), &count, &names), E_INVALIDARG)
        << "an area is not a source";
}

TEST(SimServerQuery, AttributesOfEveryCategory) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    const TCategories all = Categories(rig.Server.Get(), OPC_ALL_EVENTS);
    for (std::size_t c = 0; c < all.Ids.size(); ++c) {
        DWORD count = 0;
        DWORD* ids = nullptr;
        LPWSTR* names = nullptr;
        VARTYPE* types = nullptr;
        ASSERT_EQ(rig.Server->QueryEventAttributes(all.Ids[c], &count, &ids, &names, &types), S_OK);
        const QStringList attributeNames = TakeStrings(names, count);
        std::map<QString, VARTYPE> byName;
        for (DWORD i = 0; i < count; ++i)
            byName[attributeNames[static_cast<int>(i)]] = types[i];
        CoTaskMemFree(ids);
        CoTaskMemFree(types);
        const QString& category = all.Names[static_cast<int>(c)];
        EXPECT_EQ(byName[S("AREAS")], VT_ARRAY | VT_BSTR) << category.toStdString();
        if (category == S("Level") || category == S("Deviation")) {
            EXPECT_EQ(byName[S("CV")], VT_R8);
        }
        if (category == S("Level") || category == S("Deviation") || category == S("Discrete")) {
            EXPECT_EQ(byName[S("ACK COMMENT")], VT_BSTR);
        }
        if (category == S("Operator Process Change")) {
            EXPECT_TRUE(byName.count(S("PREV VALUE")));
            EXPECT_TRUE(byName.count(S("NEW VALUE")));
        }
    }
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* names = nullptr;
    VARTYPE* types = nullptr;
    EXPECT_EQ(rig.Server->QueryEventAttributes(4711, &count, &ids, &names, &types), E_INVALIDARG);
    EXPECT_EQ(rig.Server->QueryEventAttributes(CatLevel, &count, &ids, nullptr, &types), E_POINTER);
}

TEST(SimServerQuery, TranslateToItemIds) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    auto translate = [&](const QString& source, DWORD category, const QString& condition,
                         const QString& sub, std::vector<DWORD> attributes, QStringList* items,
                         std::vector<CLSID>* classes) {
        zelk::com::BStr sourceText(source);
        zelk::com::BStr conditionText(condition);
        zelk::com::BStr subText(sub);
        LPWSTR* itemIds = nullptr;
        LPWSTR* nodes = nullptr;
        CLSID* clsids = nullptr;
        const DWORD count = static_cast<DWORD>(attributes.size());
        const HRESULT hr = rig.Server->TranslateToItemIDs(
            sourceText.Get(), category, conditionText.Get(), subText.Get(), count,
            attributes.data(), &itemIds, &nodes, &clsids);
        if (items)
            *items = TakeStrings(itemIds, itemIds ? count : 0);
        TakeStrings(nodes, nodes ? count : 0);
        if (classes && clsids)
            classes->assign(clsids, clsids + count);
        CoTaskMemFree(clsids);
        return hr;
    };
    QStringList items;
    std::vector<CLSID> classes;
    ASSERT_EQ(
        translate(Lic201, CatLevel, S("PVLEVEL"), S("HI"), {AttrCV, AttrAreas}, &items, &classes),
        S_OK);
    EXPECT_EQ(items, QStringList({Lic201 + S(".PV"), QString()}));
    ASSERT_EQ(classes.size(), 2u);
    EXPECT_EQ(classes[0], CLSID_ZelkAESimulator);
    EXPECT_EQ(classes[1], CLSID_NULL);
    EXPECT_EQ(
        translate(Lic201, CatOperatorProcessChange, S(""), S(""), {AttrNewValue}, &items, nullptr),
        S_OK);

    struct TRow {
        QString Source;
        DWORD Category;
        QString Condition;
        QString Sub;
        std::vector<DWORD> Attributes;
    };
    const std::vector<TRow> invalid = {
        {S("Plant1.Nowhere"), CatLevel, S("PVLEVEL"), S(""), {AttrCV}},
        {Lic201, 4711, S("PVLEVEL"), S(""), {AttrCV}},
        {Lic201, CatLevel, S("DVLEVEL"), S(""), {AttrCV}},    // condition of another category
        {Lic201, CatDiscrete, S("TRIP"), S(""), {AttrAreas}}, // not a condition of LIC201
        {Lic201, CatLevel, S("PVLEVEL"), S("DV HI"), {AttrCV}},
        {Lic201, CatLevel, S("PVLEVEL"), S(""), {AttrPrevValue}}, // not a Level attribute
        {Lic201, CatSystemMessage, S("PVLEVEL"), S(""), {AttrAreas}},
    };
    for (std::size_t i = 0; i < invalid.size(); ++i) {
        const TRow& row = invalid[i];
        EXPECT_EQ(translate(row.Source, row.Category, row.Condition, row.Sub, row.Attributes,
                            nullptr, nullptr),
                  E_INVALIDARG)
            << "row " << i;
    }
}

TEST(SimServerQuery, NullOutPointersAreRefused) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    IOPCEventServer* s = rig.Server.Get();
    zelk::com::BStr name(S("PVLEVEL"));
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* names = nullptr;
    const std::vector<std::function<HRESULT()>> calls = {
        [&] { return s->QueryAvailableFilters(nullptr); },
        [&] { return s->QueryEventCategories(OPC_ALL_EVENTS, nullptr, &ids, &names); },
        [&] { return s->QueryEventCategories(OPC_ALL_EVENTS, &count, nullptr, &names); },
        [&] { return s->QueryConditionNames(CatLevel, &count, nullptr); },
        [&] { return s->QuerySubConditionNames(name.Get(), nullptr, &names); },
        [&] { return s->QuerySourceConditions(name.Get(), &count, nullptr); },
        [&] {
            return s->TranslateToItemIDs(name.Get(), CatLevel, nullptr, nullptr, 0, nullptr,
                                         nullptr, nullptr, nullptr);
        },
        [&] { return s->CreateAreaBrowser(IID_IOPCEventAreaBrowser, nullptr); },
    };
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i](), E_POINTER) << "call " << i;
}

TEST(SimServerQuery, DefaultPlantShape) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    const TSimPlantModel& plant = rig.Sim->Plant();
    int deepest = 0;
    bool blanks = false;
    for (const QString& area : plant.Areas) {
        deepest = std::max(deepest, static_cast<int>(area.count(QLatin1Char('.'))) + 1);
        blanks = blanks || area.contains(QLatin1Char(' '));
    }
    EXPECT_GE(deepest, 3);
    EXPECT_TRUE(blanks);
    int conditions = 0;
    int withoutAck = 0;
    for (const TSimSourceDef& source : plant.Sources) {
        EXPECT_TRUE(plant.HasArea(source.Area)) << source.Name.toStdString();
        EXPECT_TRUE(source.Name.startsWith(source.Area + QLatin1Char('.')));
        conditions += static_cast<int>(source.Conditions.size());
        for (const TSimSourceConditionDef& condition : source.Conditions)
            withoutAck += condition.AckRequired ? 0 : 1;
    }
    EXPECT_GE(plant.Sources.size(), 18u);
    EXPECT_GE(conditions, 28);
    EXPECT_GT(withoutAck, 0);
    EXPECT_LT(withoutAck, conditions / 4);
    EXPECT_GE(plant.FindSource(Lic201), 0);
}
