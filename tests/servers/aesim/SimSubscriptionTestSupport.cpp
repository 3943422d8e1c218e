#include "SimSubscriptionTestSupport.h"

#include "comptr.h"

namespace zelk::aesim::subtest {

using zelk::com::ComVariant;

TSubFakeServer::TSubFakeServer() {
    Categories = {
        {kSystemMessage, QStringLiteral("System Message"), OPC_SIMPLE_EVENT, {}},
        {kLevel,
         QStringLiteral("Level"),
         OPC_CONDITION_EVENT,
         {{kAttrCV, QStringLiteral("CV"), VT_R8},
          {kAttrAreas, QStringLiteral("AREAS"), static_cast<VARTYPE>(VT_ARRAY | VT_BSTR)},
          {kAttrAckComment, QStringLiteral("ACK COMMENT"), VT_BSTR}}},
        {kOperatorChange,
         QStringLiteral("Operator Process Change"),
         OPC_TRACKING_EVENT,
         {{kAttrPrevValue, QStringLiteral("PREV VALUE"), VT_R8},
          {kAttrNewValue, QStringLiteral("NEW VALUE"), VT_R8}}},
    };
    Areas = {"Plant1", "Plant1.TankFarm", "Plant1.TankFarm.Tank 1", "Plant1.Boiler", "Plant2"};
    Sources = {"Plant1.TankFarm.LIC201",
               "Plant1.TankFarm.Tank 1.LI101",
               "Plant1.TankFarm.Tank 1.LI102",
               "Plant1.Boiler.TIC7",
               "Plant2.FIC300",
               "Plant2.FIC301"};
}

bool TSubFakeServer::FindCategory(DWORD Id, TSimCategoryInfo& Category) const {
    for (const auto& c : Categories)
        if (c.Id == Id) {
            Category = c;
            return true;
        }
    return false;
}

TSimNotification Note(const QString& source, DWORD category, DWORD severity,
                      const QString& message) {
    TSimNotification n;
    n.Source = source;
    n.EventCategory = category;
    n.EventType = category == kSystemMessage    ? OPC_SIMPLE_EVENT
                  : category == kOperatorChange ? OPC_TRACKING_EVENT
                                                : OPC_CONDITION_EVENT;
    n.Severity = severity;
    n.Message = message.isEmpty() ? source : message;
    const QStringList parts = source.split(u'.');
    for (qsizetype i = 1; i < parts.size(); ++i)
        n.Areas << parts.mid(0, i).join(u'.');
    return n;
}

TSimAttributeValue Attr(DWORD id, double value) {
    return {id, ComVariant(value)};
}

TSimAttributeValue Attr(DWORD id, const QString& text) {
    return {id, ComVariant(text)};
}

TSubRig::TSubRig() : Server(TSubFakeServer::Create()), Sink(TRecordingEventSink::Create()) {}

TSubRig::~TSubRig() {
    // The sink may hold the subscription (a callback capturing it): break that first.
    if (Sink)
        Sink->OnCall = nullptr;
}

HRESULT TSubRig::Create(bool active, DWORD bufferTime, DWORD maxSize, DWORD clientHandle) {
    IUnknown* unknown = nullptr;
    const HRESULT hr =
        CreateSimSubscription(Server->GetUnknown(), *Server, Faults, active ? TRUE : FALSE,
                              bufferTime, maxSize, clientHandle, IID_IOPCEventSubscriptionMgt,
                              &unknown, &RevisedBufferTime, &RevisedMaxSize, &Channel);
    Mgt.Attach(static_cast<IOPCEventSubscriptionMgt*>(static_cast<void*>(unknown)));
    return hr;
}

HRESULT TSubRig::Advise() {
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = Mgt->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (FAILED(hr))
        return hr;
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(IID_IOPCEventSink, point.Put());
    if (FAILED(hr))
        return hr;
    return point->Advise(Sink->GetUnknown(), &Cookie);
}

HRESULT TSubRig::SetFilter(DWORD eventType, std::vector<DWORD> categories, DWORD low, DWORD high,
                           const QStringList& areas, const QStringList& sources) {
    std::vector<zelk::com::BStr> texts;
    std::vector<LPWSTR> areaList;
    std::vector<LPWSTR> sourceList;
    for (const auto& a : areas)
        areaList.push_back(texts.emplace_back(a).Get());
    for (const auto& s : sources)
        sourceList.push_back(texts.emplace_back(s).Get());
    return Mgt->SetFilter(eventType, static_cast<DWORD>(categories.size()), categories.data(), low,
                          high, static_cast<DWORD>(areaList.size()), areaList.data(),
                          static_cast<DWORD>(sourceList.size()), sourceList.data());
}

HRESULT TSubRig::SetState(const BOOL* active, const DWORD* bufferTime, const DWORD* maxSize,
                          DWORD clientHandle, DWORD* revisedBufferTime, DWORD* revisedMaxSize) {
    BOOL a = active ? *active : FALSE;
    DWORD b = bufferTime ? *bufferTime : 0;
    DWORD m = maxSize ? *maxSize : 0;
    DWORD rb = 0;
    DWORD rm = 0;
    return Mgt->SetState(active ? &a : nullptr, bufferTime ? &b : nullptr, maxSize ? &m : nullptr,
                         clientHandle, revisedBufferTime ? revisedBufferTime : &rb,
                         revisedMaxSize ? revisedMaxSize : &rm);
}

HRESULT TSubRig::SetActive(bool active) {
    BOOL a = active ? TRUE : FALSE;
    OPCHANDLE handle = 0;
    BOOL current = FALSE;
    DWORD bufferTime = 0;
    DWORD maxSize = 0;
    Mgt->GetState(&current, &bufferTime, &maxSize, &handle);
    return SetState(&a, nullptr, nullptr, handle);
}

} // namespace zelk::aesim::subtest
