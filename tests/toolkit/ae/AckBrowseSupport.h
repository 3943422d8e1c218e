#pragma once

// Pieces of the acknowledgement, condition-state and browser suites: a fake AE server
// that records the parallel arrays of AckCondition and answers scripted per-condition
// results, and hands out an area browser with a scripted listing; an event server that
// connects to it without subscriptions; condition events made to measure.

#include "AETestSupport.h"
#include "ZelkEventAreaBrowser.h"

#include <optional>
#include <vector>

namespace zelk::aetest {

// One AckCondition call as the server received it.
struct TAckCall {
    QString Who;
    QString Comment;
    QStringList Sources;
    QStringList Conditions;
    std::vector<FILETIME> ActiveTimes;
    std::vector<DWORD> Cookies;
};

class TScriptedEventServer : public TFakeEventServer {
public:
    // A new server with the fake plant's categories.
    static ComPtr<TScriptedEventServer> Make();

    std::vector<TAckCall> AckCalls;
    HRESULT AckResult = S_OK;
    // Per-condition results by position; positions beyond answer S_OK.
    std::vector<HRESULT> AckErrors;
    // CreateAreaBrowser answers E_NOTIMPL unless a listing is scripted.
    std::optional<QStringList> BrowserListing;

    HRESULT STDMETHODCALLTYPE AckCondition(DWORD dwCount, LPWSTR szAcknowledgerID, LPWSTR szComment,
                                           LPWSTR* pszSource, LPWSTR* pszConditionName,
                                           FILETIME* pftActiveTime, DWORD* pdwCookie,
                                           HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE CreateAreaBrowser(REFIID riid, LPUNKNOWN* ppUnk) override;
};

// The event server of these suites; the fake server's subscriptions send nothing.
using TAckTestServer = TTestEventServer;

struct TEventShape {
    QString Source;
    QString Condition;
    WORD State = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    DWORD Cookie = 0;
    // Time and active time: 2024-03-01 12:00:<Second> UTC.
    int Second = 0;
    bool AckRequired = true;
    DWORD EventType = OPC_CONDITION_EVENT;
};

// Adds the event to the server's list and re-sorts it; returns the event.
TZelkEvent* AddEvent(TZelkEventServer& server, const TEventShape& shape);
// The sources of the list in presentation order.
QStringList SourcesOf(const TZelkEvents& events);

} // namespace zelk::aetest
