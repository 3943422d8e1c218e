#include "SimServerTestSupport.h"

#include "bstr.h"
#include "comholders.h"
#include "connpoint.h"

namespace zelk::aesim::servertest {

HRESULT TSrvShutdownSink::ShutdownRequest(LPCWSTR szReason) {
    std::lock_guard lock(FLock);
    FReasons.append(zelk::com::ToQString(szReason));
    return S_OK;
}

QStringList TSrvShutdownSink::Reasons() const {
    std::lock_guard lock(FLock);
    return FReasons;
}

TSrvRig::TSrvRig(const TSimClassOptions& options)
    : Sim(options), Server(Connect()), Sink(TRecordingEventSink::Create()),
      Subscription(Subscribe(Server.Get(), Sink.Get())) {}

TSrvRig::~TSrvRig() = default;

ComPtr<IOPCEventServer> TSrvRig::Connect() const {
    ComPtr<IOPCEventServer> server;
    EXPECT_EQ(CoCreateInstance(Sim->Options().Clsid, nullptr,
                               CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOPCEventServer,
                               server.PutVoid()),
              S_OK);
    return server;
}

ComPtr<IOPCEventSubscriptionMgt> TSrvRig::Subscribe(IOPCEventServer* server,
                                                    TRecordingEventSink* sink) const {
    ComPtr<IUnknown> unknown;
    DWORD revisedBufferTime = 0;
    DWORD revisedMaxSize = 0;
    EXPECT_EQ(server->CreateEventSubscription(TRUE, 0, 0, 7, IID_IOPCEventSubscriptionMgt,
                                              unknown.Put(), &revisedBufferTime, &revisedMaxSize),
              S_OK);
    ComPtr<IOPCEventSubscriptionMgt> subscription;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (!unknown || FAILED(unknown->QueryInterface(subscription.Put())) ||
        FAILED(unknown->QueryInterface(container.Put())) ||
        FAILED(container->FindConnectionPoint(IID_IOPCEventSink, point.Put())) ||
        FAILED(point->Advise(sink->GetUnknown(), &cookie)))
        ADD_FAILURE() << "subscription not set up";
    return subscription;
}

HRESULT AckOne(IOPCEventServer* server, const QString& acknowledger, const QString& comment,
               const QString& source, const QString& condition, FILETIME activeTime, DWORD cookie,
               HRESULT* itemResult) {
    zelk::com::BStr who(acknowledger);
    zelk::com::BStr text(comment);
    zelk::com::BStr sourceText(source);
    zelk::com::BStr conditionText(condition);
    LPWSTR sources[] = {sourceText.Get()};
    LPWSTR conditions[] = {conditionText.Get()};
    HRESULT* errors = nullptr;
    const HRESULT hr = server->AckCondition(1, who.Get(), text.Get(), sources, conditions,
                                            &activeTime, &cookie, &errors);
    *itemResult = errors ? errors[0] : E_UNEXPECTED;
    CoTaskMemFree(errors);
    return hr;
}

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace zelk::aesim::servertest
