#include "AckBrowseSupport.h"

#include "enumerators.h"

namespace zelk::aetest {

namespace {

class TScriptedAreaBrowser
    : public zelk::com::ComObject<TScriptedAreaBrowser, IOPCEventAreaBrowser> {
public:
    explicit TScriptedAreaBrowser(QStringList names) : FNames(std::move(names)) {}
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCAEBROWSEDIRECTION, LPCWSTR) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BrowseOPCAreas(OPCAEBROWSETYPE, LPCWSTR,
                                             IEnumString** ppIEnumString) override {
        *ppIEnumString = zelk::com::MakeEnumString(FNames).Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetQualifiedAreaName(LPCWSTR, LPWSTR*) override { return E_FAIL; }
    HRESULT STDMETHODCALLTYPE GetQualifiedSourceName(LPCWSTR, LPWSTR*) override { return E_FAIL; }

private:
    QStringList FNames;
};

QString TextOf(LPCWSTR text) {
    return text ? zelk::com::ToQString(text) : QStringLiteral("<null>");
}

} // namespace

ComPtr<TScriptedEventServer> TScriptedEventServer::Make() {
    ComPtr<TScriptedEventServer> server;
    server.Attach(new TScriptedEventServer());
    server->ScriptPlant();
    return server;
}

HRESULT TScriptedEventServer::AckCondition(DWORD dwCount, LPWSTR szAcknowledgerID, LPWSTR szComment,
                                           LPWSTR* pszSource, LPWSTR* pszConditionName,
                                           FILETIME* pftActiveTime, DWORD* pdwCookie,
                                           HRESULT** ppErrors) {
    TAckCall call{TextOf(szAcknowledgerID), TextOf(szComment), {}, {}, {}, {}};
    auto errors = zelk::com::TaskMem<HRESULT>::Alloc(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
        call.Sources << TextOf(pszSource[i]);
        call.Conditions << TextOf(pszConditionName[i]);
        call.ActiveTimes.push_back(pftActiveTime[i]);
        call.Cookies.push_back(pdwCookie[i]);
        errors[i] = i < AckErrors.size() ? AckErrors[i] : S_OK;
    }
    AckCalls.push_back(std::move(call));
    *ppErrors = errors.Detach();
    return AckResult;
}

HRESULT TScriptedEventServer::CreateAreaBrowser(REFIID riid, LPUNKNOWN* ppUnk) {
    *ppUnk = nullptr;
    if (!BrowserListing)
        return E_NOTIMPL;
    return TScriptedAreaBrowser::Create(*BrowserListing)
        ->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

TZelkEvent* AddEvent(TZelkEventServer& server, const TEventShape& shape) {
    TNotification n;
    n.Source = shape.Source;
    n.Condition = shape.Condition;
    n.NewState = shape.State;
    n.Cookie = shape.Cookie;
    n.AckRequired = shape.AckRequired ? TRUE : FALSE;
    n.EventType = shape.EventType;
    n.Time = UtcFileTime(2024, 3, 1, 12, 0, shape.Second);
    n.ActiveTime = n.Time;
    TZelkEvent* event =
        server.Events()->AddEvent(std::make_unique<TZelkEvent>(&server, n.Record()));
    server.Resort();
    return event;
}

QStringList SourcesOf(const TZelkEvents& events) {
    QStringList sources;
    for (int i = 0; i < events.Count(); ++i)
        sources << events.Events(i)->Source();
    return sources;
}

} // namespace zelk::aetest
