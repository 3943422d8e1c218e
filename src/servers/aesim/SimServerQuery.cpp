// IOPCEventServer: what the server knows about its event space.

#include "SimServer.h"
#include "SimTaskOut.h"
#include "bstr.h"

namespace zelk::aesim {

HRESULT TSimEventServer::QueryEventCategories(DWORD dwEventType, DWORD* pdwCount,
                                              DWORD** ppdwEventCategories,
                                              LPWSTR** ppszEventCategoryDescs) {
    if (pdwCount)
        *pdwCount = 0;
    if (ppdwEventCategories)
        *ppdwEventCategories = nullptr;
    if (ppszEventCategoryDescs)
        *ppszEventCategoryDescs = nullptr;
    if (auto injected = Enter("IOPCEventServer::QueryEventCategories"))
        return *injected;
    if (!pdwCount || !ppdwEventCategories || !ppszEventCategoryDescs)
        return E_POINTER;
    if (dwEventType == 0 || (dwEventType & ~OPC_ALL_EVENTS) != 0)
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] {
        std::vector<DWORD> ids;
        QStringList descriptions;
        for (const TSimCategoryInfo& category : FEngine->Plant().Model().Categories) {
            if (category.EventType & dwEventType) {
                ids.push_back(category.Id);
                descriptions.append(category.Description);
            }
        }
        auto idArray = TaskValues(ids);
        TSimTaskStrings descriptionArray(descriptions);
        *ppdwEventCategories = idArray.Detach();
        *ppszEventCategoryDescs = descriptionArray.Detach();
        *pdwCount = static_cast<DWORD>(ids.size());
    });
}

HRESULT TSimEventServer::QueryConditionNames(DWORD dwEventCategory, DWORD* pdwCount,
                                             LPWSTR** ppszConditionNames) {
    if (pdwCount)
        *pdwCount = 0;
    if (ppszConditionNames)
        *ppszConditionNames = nullptr;
    if (auto injected = Enter("IOPCEventServer::QueryConditionNames"))
        return *injected;
    if (!pdwCount || !ppszConditionNames)
        return E_POINTER;
    const TSimPlantModel& model = FEngine->Plant().Model();
    const TSimCategoryInfo* category = model.FindCategory(dwEventCategory);
    if (!category || category->EventType != OPC_CONDITION_EVENT)
        return E_INVALIDARG;
    if (FEngine->Options().Capabilities.FailingConditionNamesCategory == dwEventCategory)
        return E_FAIL;
    return zelk::com::ComBoundary([&] {
        QStringList names;
        for (const TSimConditionDef& condition : model.Conditions)
            if (condition.CategoryId == dwEventCategory)
                names.append(condition.Name);
        TSimTaskStrings array(names);
        *pdwCount = array.Count();
        *ppszConditionNames = array.Detach();
    });
}

HRESULT TSimEventServer::QuerySubConditionNames(LPWSTR szConditionName, DWORD* pdwCount,
                                                LPWSTR** ppszSubConditionNames) {
    if (pdwCount)
        *pdwCount = 0;
    if (ppszSubConditionNames)
        *ppszSubConditionNames = nullptr;
    if (auto injected = Enter("IOPCEventServer::QuerySubConditionNames"))
        return *injected;
    if (!pdwCount || !ppszSubConditionNames)
        return E_POINTER;
    if (!szConditionName)
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] {
        const TSimPlantModel& model = FEngine->Plant().Model();
        const int found = model.FindCondition(zelk::com::ToQString(szConditionName));
        if (found < 0)
            return E_INVALIDARG;
        QStringList names;
        for (const TSimSubConditionDef& sub :
             model.Conditions[static_cast<std::size_t>(found)].SubConditions)
            names.append(sub.Name);
        TSimTaskStrings array(names);
        *pdwCount = array.Count();
        *ppszSubConditionNames = array.Detach();
        return S_OK;
    });
}

HRESULT TSimEventServer::QuerySourceConditions(LPWSTR szSource, DWORD* pdwCount,
                                               LPWSTR** ppszConditionNames) {
    if (pdwCount)
        *pdwCount = 0;
    if (ppszConditionNames)
        *ppszConditionNames = nullptr;
    if (auto injected = Enter("IOPCEventServer::QuerySourceConditions"))
        return *injected;
    if (!pdwCount || !ppszConditionNames)
        return E_POINTER;
    if (!szSource)
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] {
        const TSimPlantModel& model = FEngine->Plant().Model();
        const int source = model.FindSource(zelk::com::ToQString(szSource));
        if (source < 0)
            return E_INVALIDARG;
        QStringList names;
        for (const TSimSourceConditionDef& condition :
             model.Sources[static_cast<std::size_t>(source)].Conditions)
            names.append(model.Conditions[static_cast<std::size_t>(condition.Definition)].Name);
        TSimTaskStrings array(names);
        *pdwCount = array.Count();
        *ppszConditionNames = array.Detach();
        return S_OK;
    });
}

HRESULT TSimEventServer::QueryEventAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                              DWORD** ppdwAttrIDs, LPWSTR** ppszAttrDescs,
                                              VARTYPE** ppvtAttrTypes) {
    if (pdwCount)
        *pdwCount = 0;
    if (ppdwAttrIDs)
        *ppdwAttrIDs = nullptr;
    if (ppszAttrDescs)
        *ppszAttrDescs = nullptr;
    if (ppvtAttrTypes)
        *ppvtAttrTypes = nullptr;
    if (auto injected = Enter("IOPCEventServer::QueryEventAttributes"))
        return *injected;
    if (!pdwCount || !ppdwAttrIDs || !ppszAttrDescs || !ppvtAttrTypes)
        return E_POINTER;
    const TSimCategoryInfo* category = FEngine->Plant().Model().FindCategory(dwEventCategory);
    if (!category)
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] {
        std::vector<DWORD> ids;
        std::vector<VARTYPE> types;
        QStringList descriptions;
        for (const TSimAttributeInfo& attribute : category->Attributes) {
            ids.push_back(attribute.Id);
            types.push_back(attribute.Type);
            descriptions.append(attribute.Description);
        }
        auto idArray = TaskValues(ids);
        auto typeArray = TaskValues(types);
        TSimTaskStrings descriptionArray(descriptions);
        *ppdwAttrIDs = idArray.Detach();
        *ppvtAttrTypes = typeArray.Detach();
        *ppszAttrDescs = descriptionArray.Detach();
        *pdwCount = static_cast<DWORD>(ids.size());
    });
}

HRESULT TSimEventServer::TranslateToItemIDs(LPWSTR szSource, DWORD dwEventCategory,
                                            LPWSTR szConditionName, LPWSTR szSubconditionName,
                                            DWORD dwCount, DWORD* pdwAssocAttrIDs,
                                            LPWSTR** ppszAttrItemIDs, LPWSTR** ppszNodeNames,
                                            CLSID** ppCLSIDs) {
    if (ppszAttrItemIDs)
        *ppszAttrItemIDs = nullptr;
    if (ppszNodeNames)
        *ppszNodeNames = nullptr;
    if (ppCLSIDs)
        *ppCLSIDs = nullptr;
    if (auto injected = Enter("IOPCEventServer::TranslateToItemIDs"))
        return *injected;
    if (!ppszAttrItemIDs || !ppszNodeNames || !ppCLSIDs)
        return E_POINTER;
    if (!szSource || (dwCount > 0 && !pdwAssocAttrIDs))
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] {
        const TSimPlantModel& model = FEngine->Plant().Model();
        const QString sourceName = zelk::com::ToQString(szSource);
        const int source = model.FindSource(sourceName);
        const TSimCategoryInfo* category = model.FindCategory(dwEventCategory);
        if (source < 0 || !category)
            return E_INVALIDARG;
        // A condition must be one of the source's in this category; events have none.
        const QString conditionName =
            szConditionName ? zelk::com::ToQString(szConditionName) : QString();
        const QString subName =
            szSubconditionName ? zelk::com::ToQString(szSubconditionName) : QString();
        if (category->EventType == OPC_CONDITION_EVENT && !conditionName.isEmpty()) {
            const int condition = model.FindCondition(conditionName);
            if (condition < 0 || model.FindSourceCondition(source, conditionName) < 0 ||
                model.Conditions[static_cast<std::size_t>(condition)].CategoryId != category->Id)
                return E_INVALIDARG;
            if (!subName.isEmpty() &&
                model.Conditions[static_cast<std::size_t>(condition)].FindSubCondition(subName) < 0)
                return E_INVALIDARG;
        } else if (!conditionName.isEmpty() || !subName.isEmpty()) {
            return E_INVALIDARG;
        }

        // The analog value and its set point are data items of the same server; the other
        // attributes have no item.
        QStringList itemIds;
        std::vector<CLSID> classes;
        for (DWORD i = 0; i < dwCount; ++i) {
            const DWORD id = pdwAssocAttrIDs[i];
            const auto known = std::find_if(
                category->Attributes.begin(), category->Attributes.end(),
                [id](const TSimAttributeInfo& attribute) { return attribute.Id == id; });
            if (known == category->Attributes.end())
                return E_INVALIDARG;
            QString item;
            if (id == AttrCV)
                item = sourceName + QStringLiteral(".PV");
            else if (id == AttrSP)
                item = sourceName + QStringLiteral(".SP");
            itemIds.append(item);
            classes.push_back(item.isEmpty() ? CLSID_NULL : FEngine->Options().Clsid);
        }
        TSimTaskStrings itemArray(itemIds);
        TSimTaskStrings nodeArray(QStringList(itemIds.size(), QString()));
        auto classArray = TaskValues(classes);
        *ppszAttrItemIDs = itemArray.Detach();
        *ppszNodeNames = nodeArray.Detach();
        *ppCLSIDs = classArray.Detach();
        return S_OK;
    });
}

} // namespace zelk::aesim
