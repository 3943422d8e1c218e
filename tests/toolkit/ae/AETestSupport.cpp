#include "AETestSupport.h"

#include "OsHelpers.h"

namespace zelk::aetest {

namespace {

template <class T> T* TaskCopy(const std::vector<T>& values) {
    if (values.empty())
        return nullptr;
    auto* block = static_cast<T*>(CoTaskMemAlloc(values.size() * sizeof(T)));
    std::copy(values.begin(), values.end(), block);
    return block;
}

LPWSTR* TaskStrings(const QStringList& texts) {
    std::vector<LPWSTR> strings;
    for (const QString& text : texts)
        strings.push_back(zelk::com::TaskStrFromQString(text));
    return TaskCopy(strings);
}

} // namespace

// ---- TFakeEventServer ----

HRESULT TFakeEventServer::GetStatus(OPCEVENTSERVERSTATUS**) {
    return E_NOTIMPL;
}

namespace {

// A subscription that accepts every setting and has no connection point: the component's
// sink is never advised, so no notification comes from it.
class TFakeSubscription : public zelk::com::ComObject<TFakeSubscription, IOPCEventSubscriptionMgt> {
public:
    HRESULT STDMETHODCALLTYPE SetFilter(DWORD, DWORD, DWORD*, DWORD, DWORD, DWORD, LPWSTR*, DWORD,
                                        LPWSTR*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFilter(DWORD*, DWORD*, DWORD**, DWORD*, DWORD*, DWORD*, LPWSTR**,
                                        DWORD*, LPWSTR**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SelectReturnedAttributes(DWORD, DWORD, DWORD*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetReturnedAttributes(DWORD, DWORD*, DWORD**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Refresh(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CancelRefresh(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetState(BOOL*, DWORD*, DWORD*, OPCHANDLE*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetState(BOOL*, DWORD* pdwBufferTime, DWORD* pdwMaxSize, OPCHANDLE,
                                       DWORD* pdwRevisedBufferTime,
                                       DWORD* pdwRevisedMaxSize) override {
        if (pdwRevisedBufferTime)
            *pdwRevisedBufferTime = pdwBufferTime ? *pdwBufferTime : 0;
        if (pdwRevisedMaxSize)
            *pdwRevisedMaxSize = pdwMaxSize ? *pdwMaxSize : 0;
        return S_OK;
    }
};

} // namespace

HRESULT TFakeEventServer::CreateEventSubscription(BOOL, DWORD dwBufferTime, DWORD dwMaxSize,
                                                  OPCHANDLE, REFIID riid, LPUNKNOWN* ppUnk,
                                                  DWORD* pdwRevisedBufferTime,
                                                  DWORD* pdwRevisedMaxSize) {
    if (!ppUnk || !pdwRevisedBufferTime || !pdwRevisedMaxSize)
        return E_INVALIDARG;
    *pdwRevisedBufferTime = dwBufferTime;
    *pdwRevisedMaxSize = dwMaxSize;
    return TFakeSubscription::Create()->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

HRESULT TFakeEventServer::QueryAvailableFilters(DWORD*) {
    return E_NOTIMPL;
}

HRESULT TFakeEventServer::QueryEventCategories(DWORD dwEventType, DWORD* pdwCount,
                                               DWORD** ppdwEventCategories,
                                               LPWSTR** ppszEventCategoryDescs) {
    Calls << QStringLiteral("QueryEventCategories %1").arg(dwEventType);
    *pdwCount = 0;
    *ppdwEventCategories = nullptr;
    *ppszEventCategoryDescs = nullptr;
    std::vector<DWORD> ids;
    QStringList descriptions;
    for (const TCategory& category : Categories)
        if (category.EventType == dwEventType) {
            ids.push_back(category.Id);
            descriptions << category.Description;
        }
    *pdwCount = static_cast<DWORD>(ids.size());
    *ppdwEventCategories = TaskCopy(ids);
    *ppszEventCategoryDescs = TaskStrings(descriptions);
    return S_OK;
}

HRESULT TFakeEventServer::QueryConditionNames(DWORD, DWORD*, LPWSTR**) {
    return E_NOTIMPL;
}

HRESULT TFakeEventServer::QuerySubConditionNames(LPWSTR, DWORD*, LPWSTR**) {
    return E_NOTIMPL;
}

HRESULT TFakeEventServer::QuerySourceConditions(LPWSTR, DWORD*, LPWSTR**) {
    return E_NOTIMPL;
}

HRESULT TFakeEventServer::QueryEventAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                               DWORD** ppdwAttrIDs, LPWSTR** ppszAttrDescs,
                                               VARTYPE** ppvtAttrTypes) {
    Calls << QStringLiteral("QueryEventAttributes %1").arg(dwEventCategory);
    *pdwCount = 0;
    *ppdwAttrIDs = nullptr;
    *ppszAttrDescs = nullptr;
    *ppvtAttrTypes = nullptr;
    for (const TCategory& category : Categories)
        if (category.Id == dwEventCategory) {
            std::vector<DWORD> ids;
            QStringList descriptions;
            std::vector<VARTYPE> types;
            for (const TAttribute& attribute : category.Attributes) {
                ids.push_back(attribute.Id);
                descriptions << attribute.Description;
                types.push_back(attribute.Type);
            }
            *pdwCount = static_cast<DWORD>(ids.size());
            *ppdwAttrIDs = TaskCopy(ids);
            *ppszAttrDescs = TaskStrings(descriptions);
            *ppvtAttrTypes = TaskCopy(types);
            return S_OK;
        }
    return E_INVALIDARG;
}

HRESULT TFakeEventServer::TranslateToItemIDs(LPWSTR szSource, DWORD dwEventCategory,
                                             LPWSTR szConditionName, LPWSTR szSubconditionName,
                                             DWORD dwCount, DWORD* pdwAssocAttrIDs,
                                             LPWSTR** ppszAttrItemIDs, LPWSTR** ppszNodeNames,
                                             CLSID** ppCLSIDs) {
    Calls << QStringLiteral("TranslateToItemIDs %1|%2|%3|%4|%5|%6")
                 .arg(zelk::com::ToQString(szSource))
                 .arg(dwEventCategory)
                 .arg(zelk::com::ToQString(szConditionName),
                      zelk::com::ToQString(szSubconditionName))
                 .arg(dwCount)
                 .arg(dwCount > 0 ? pdwAssocAttrIDs[0] : 0);
    *ppszAttrItemIDs = nullptr;
    *ppszNodeNames = nullptr;
    *ppCLSIDs = nullptr;
    if (FAILED(TranslateResult))
        return TranslateResult;
    *ppszAttrItemIDs = TaskStrings({ItemId});
    *ppszNodeNames = TaskStrings({NodeName});
    *ppCLSIDs = TaskCopy(std::vector<CLSID>{ItemServer});
    return TranslateResult;
}

HRESULT TFakeEventServer::GetConditionState(LPWSTR, LPWSTR, DWORD, DWORD*, OPCCONDITIONSTATE**) {
    return E_NOTIMPL;
}
HRESULT TFakeEventServer::EnableConditionByArea(DWORD, LPWSTR*) {
    return E_NOTIMPL;
}
HRESULT TFakeEventServer::EnableConditionBySource(DWORD, LPWSTR*) {
    return E_NOTIMPL;
}
HRESULT TFakeEventServer::DisableConditionByArea(DWORD, LPWSTR*) {
    return E_NOTIMPL;
}
HRESULT TFakeEventServer::DisableConditionBySource(DWORD, LPWSTR*) {
    return E_NOTIMPL;
}
HRESULT TFakeEventServer::AckCondition(DWORD, LPWSTR, LPWSTR, LPWSTR*, LPWSTR*, FILETIME*, DWORD*,
                                       HRESULT**) {
    return E_NOTIMPL;
}
HRESULT TFakeEventServer::CreateAreaBrowser(REFIID, LPUNKNOWN*) {
    return E_NOTIMPL;
}

void TFakeEventServer::ScriptPlant() {
    const auto s = [](const char* text) { return QString::fromLatin1(text); };
    Categories = {
        {OPC_SIMPLE_EVENT, 1, s("System message"), {{1, s("Operator"), VT_BSTR}}},
        {OPC_SIMPLE_EVENT, 2, s("Batch"), {}},
        {OPC_CONDITION_EVENT, 10, s("Level"), {{100, s("CV"), VT_R8}, {101, s("Limit"), VT_R8}}},
        {OPC_CONDITION_EVENT, 11, s("Deviation"), {{110, s("Setpoint"), VT_R8}}},
        {OPC_TRACKING_EVENT, 20, s("Operator action"), {{200, s("Old value"), VT_VARIANT}}},
    };
}

// ---- fixtures and notifications ----

AETest::AETest() {
    auto entry = std::make_unique<TIFRegisterClass>();
    entry->Connectiontype = tZelkConnectionType::coCOM;
    RegisterConnectionType(std::move(entry));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

AETest::~AETest() {
    QLocale::setDefault(FSavedLocale);
}

std::unique_ptr<TZelkEvent> NewEvent(TZelkEventServer* server, const QString& source,
                                     const QString& condition, WORD state, FILETIME time,
                                     DWORD severity) {
    TNotification notification;
    notification.Source = source;
    notification.Condition = condition;
    notification.NewState = state;
    notification.Time = time;
    notification.Severity = severity;
    return std::make_unique<TZelkEvent>(server, notification.Record());
}

} // namespace zelk::aetest
