// IOPCEventServer: acknowledging, condition state, enabling and disabling.

#include "SimServer.h"
#include "SimTaskOut.h"
#include "bstr.h"
#include "variant.h"

namespace zelk::aesim {

namespace {

// Frees a condition state record with everything it points to.
struct TConditionStateRelease {
    void operator()(OPCCONDITIONSTATE* state) const noexcept {
        CoTaskMemFree(state->szActiveSubCondition);
        CoTaskMemFree(state->szASCDefinition);
        CoTaskMemFree(state->szASCDescription);
        CoTaskMemFree(state->szAcknowledgerID);
        CoTaskMemFree(state->szComment);
        for (DWORD i = 0; i < state->dwNumSCs; ++i) {
            if (state->pszSCNames)
                CoTaskMemFree(state->pszSCNames[i]);
            if (state->pszSCDefinitions)
                CoTaskMemFree(state->pszSCDefinitions[i]);
            if (state->pszSCDescriptions)
                CoTaskMemFree(state->pszSCDescriptions[i]);
        }
        CoTaskMemFree(state->pszSCNames);
        CoTaskMemFree(state->pszSCDefinitions);
        CoTaskMemFree(state->pdwSCSeverities);
        CoTaskMemFree(state->pszSCDescriptions);
        if (state->pEventAttributes)
            for (DWORD i = 0; i < state->dwNumEventAttrs; ++i)
                VariantClear(&state->pEventAttributes[i]);
        CoTaskMemFree(state->pEventAttributes);
        CoTaskMemFree(state->pErrors);
        CoTaskMemFree(state);
    }
};

} // namespace

HRESULT TSimEventServer::AckCondition(DWORD dwCount, LPWSTR szAcknowledgerID, LPWSTR szComment,
                                      LPWSTR* pszSource, LPWSTR* pszConditionName,
                                      FILETIME* pftActiveTime, DWORD* pdwCookie,
                                      HRESULT** ppErrors) {
    if (ppErrors)
        *ppErrors = nullptr;
    if (auto injected = Enter("IOPCEventServer::AckCondition"))
        return *injected;
    return zelk::com::ComBoundary([&] {
        QStringList times;
        QStringList cookies;
        for (DWORD i = 0; i < dwCount; ++i) {
            if (pftActiveTime)
                times.append(ArgTime(pftActiveTime[i]));
            if (pdwCookie)
                cookies.append(QString::number(pdwCookie[i]));
        }
        FEngine->Faults().Record(
            "IOPCEventServer::AckCondition",
            QStringLiteral("Count=%1 Acknowledger=%2 Comment=%3 Sources=%4 Conditions=%5 "
                           "ActiveTimes=%6 Cookies=%7")
                .arg(QString::number(dwCount), ArgText(szAcknowledgerID), ArgText(szComment),
                     ArgStrings(dwCount, pszSource), ArgStrings(dwCount, pszConditionName),
                     pftActiveTime ? ArgList(times) : QStringLiteral("null"),
                     pdwCookie ? ArgList(cookies) : QStringLiteral("null")));
        if (!ppErrors)
            return E_POINTER;
        if (dwCount == 0 || !szAcknowledgerID || !*szAcknowledgerID || !pszSource ||
            !pszConditionName || !pftActiveTime || !pdwCookie)
            return E_INVALIDARG;
        const QString acknowledger = zelk::com::ToQString(szAcknowledgerID);
        const QString comment = zelk::com::ToQString(szComment);
        auto errors = zelk::com::TaskMem<HRESULT>::Alloc(dwCount);
        const bool allOk = FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
            bool ok = true;
            for (DWORD i = 0; i < dwCount; ++i) {
                errors[i] = pszSource[i] && pszConditionName[i]
                                ? plant.Acknowledge(zelk::com::ToQString(pszSource[i]),
                                                    zelk::com::ToQString(pszConditionName[i]),
                                                    pftActiveTime[i], pdwCookie[i], acknowledger,
                                                    comment, out)
                                : E_INVALIDARG;
                ok = ok && errors[i] == S_OK;
            }
            return ok;
        });
        *ppErrors = errors.Detach();
        return allOk ? S_OK : S_FALSE;
    });
}

HRESULT TSimEventServer::GetConditionState(LPWSTR szSource, LPWSTR szConditionName,
                                           DWORD dwNumEventAttrs, DWORD* pdwAttributeIDs,
                                           OPCCONDITIONSTATE** ppConditionState) {
    if (ppConditionState)
        *ppConditionState = nullptr;
    if (auto injected = Enter("IOPCEventServer::GetConditionState"))
        return *injected;
    return zelk::com::ComBoundary([&] {
        QStringList ids;
        for (DWORD i = 0; pdwAttributeIDs && i < dwNumEventAttrs; ++i)
            ids.append(QString::number(pdwAttributeIDs[i]));
        FEngine->Faults().Record("IOPCEventServer::GetConditionState",
                                 QStringLiteral("Source=%1 Condition=%2 AttributeIds=%3")
                                     .arg(ArgText(szSource), ArgText(szConditionName),
                                          pdwAttributeIDs ? ArgList(ids) : QStringLiteral("null")));
        if (!ppConditionState)
            return E_POINTER;
        if (!szSource || !szConditionName || (dwNumEventAttrs > 0 && !pdwAttributeIDs))
            return E_INVALIDARG;
        const std::optional<TSimConditionStateInfo> info = FEngine->Plant().ConditionState(
            zelk::com::ToQString(szSource), zelk::com::ToQString(szConditionName));
        if (!info)
            return E_INVALIDARG;

        std::unique_ptr<OPCCONDITIONSTATE, TConditionStateRelease> state(
            zelk::com::TaskMem<OPCCONDITIONSTATE>::Alloc().Detach());
        state->wState = info->State;
        state->wQuality = info->Quality;
        state->ftLastAckTime = info->LastAckTime;
        state->ftSubCondLastActive = info->SubCondLastActive;
        state->ftCondLastActive = info->CondLastActive;
        state->ftCondLastInactive = info->CondLastInactive;
        if (info->ActiveSubCondition >= 0) {
            const TSimSubConditionDef& active =
                info->SubConditions[static_cast<std::size_t>(info->ActiveSubCondition)];
            state->szActiveSubCondition = zelk::com::TaskStrFromQString(active.Name);
            state->szASCDefinition = zelk::com::TaskStrFromQString(active.Definition);
            state->szASCDescription = zelk::com::TaskStrFromQString(active.Description);
            state->dwASCSeverity = active.Severity;
        }
        if (info->AcknowledgerID)
            state->szAcknowledgerID = zelk::com::TaskStrFromQString(*info->AcknowledgerID);
        if (info->Comment)
            state->szComment = zelk::com::TaskStrFromQString(*info->Comment);

        QStringList names;
        QStringList definitions;
        QStringList descriptions;
        std::vector<DWORD> severities;
        for (const TSimSubConditionDef& sub : info->SubConditions) {
            names.append(sub.Name);
            definitions.append(sub.Definition);
            descriptions.append(sub.Description);
            severities.push_back(sub.Severity);
        }
        // The count first: the release above walks the arrays by it, null ones skipped.
        state->dwNumSCs = static_cast<DWORD>(severities.size());
        state->pszSCNames = TSimTaskStrings(names).Detach();
        state->pszSCDefinitions = TSimTaskStrings(definitions).Detach();
        state->pszSCDescriptions = TSimTaskStrings(descriptions).Detach();
        state->pdwSCSeverities = TaskValues(severities).Detach();

        if (dwNumEventAttrs > 0) {
            state->pEventAttributes = zelk::com::TaskMem<VARIANT>::Alloc(dwNumEventAttrs).Detach();
            state->dwNumEventAttrs = dwNumEventAttrs;
            state->pErrors = zelk::com::TaskMem<HRESULT>::Alloc(dwNumEventAttrs).Detach();
            for (DWORD i = 0; i < dwNumEventAttrs; ++i) {
                VariantInit(&state->pEventAttributes[i]);
                state->pErrors[i] = E_FAIL;
                for (const TSimAttributeValue& value : info->Attributes) {
                    if (value.Id != pdwAttributeIDs[i])
                        continue;
                    const HRESULT copied =
                        VariantCopy(&state->pEventAttributes[i], value.Value.Get());
                    if (copied == E_OUTOFMEMORY)
                        throw std::bad_alloc();
                    state->pErrors[i] = copied;
                    break;
                }
            }
        }
        *ppConditionState = state.release();
        return S_OK;
    });
}

HRESULT TSimEventServer::ChangeEnabled(std::string_view method, DWORD count, LPWSTR* names,
                                       bool areas, bool enable) {
    if (auto injected = Enter(method))
        return *injected;
    return zelk::com::ComBoundary([&] {
        FEngine->Faults().Record(method, QStringLiteral("Names=") + ArgStrings(count, names));
        const std::optional<QStringList> list = InStrings(count, names);
        if (count == 0 || !list)
            return E_INVALIDARG;
        return FEngine->Change([&](TSimPlant& plant, TSimNotifications& out) {
            return areas ? plant.SetAreasEnabled(*list, enable, out)
                         : plant.SetSourcesEnabled(*list, enable, out);
        });
    });
}

HRESULT TSimEventServer::EnableConditionByArea(DWORD dwNumAreas, LPWSTR* pszAreas) {
    return ChangeEnabled("IOPCEventServer::EnableConditionByArea", dwNumAreas, pszAreas, true,
                         true);
}

HRESULT TSimEventServer::EnableConditionBySource(DWORD dwNumSources, LPWSTR* pszSources) {
    return ChangeEnabled("IOPCEventServer::EnableConditionBySource", dwNumSources, pszSources,
                         false, true);
}

HRESULT TSimEventServer::DisableConditionByArea(DWORD dwNumAreas, LPWSTR* pszAreas) {
    return ChangeEnabled("IOPCEventServer::DisableConditionByArea", dwNumAreas, pszAreas, true,
                         false);
}

HRESULT TSimEventServer::DisableConditionBySource(DWORD dwNumSources, LPWSTR* pszSources) {
    return ChangeEnabled("IOPCEventServer::DisableConditionBySource", dwNumSources, pszSources,
                         false, false);
}

} // namespace zelk::aesim
