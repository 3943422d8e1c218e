#pragma once

// Connection points for our servers: a thread-safe IConnectionPoint per outgoing
// interface and a helper that answers IConnectionPointContainer.
//
//   class TServer : public zelk::com::ComObject<TServer, IFoo, IConnectionPointContainer> {
//   public:
//       TServer() : FShutdownPoint(FPoints.Add(IID_IOPCShutdown)) {}
//       HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** pp) override {
//           return FPoints.EnumConnectionPoints(pp);
//       }
//       HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override
//       {
//           return FPoints.FindConnectionPoint(riid, pp);
//       }
//   private:
//       zelk::com::ConnectionPointContainer FPoints{this};
//       zelk::com::ConnectionPoint& FShutdownPoint;
//   };
//   …
//   FShutdownPoint.ForEachSink<IOPCShutdown>([&](IOPCShutdown* s) { s->ShutdownRequest(u"bye"); });
//
// Lifetime: the container helper owns its points, and a point's AddRef/Release forward
// to the containing object. A client holding a point thus keeps the whole server
// alive, and the point needs no counted back pointer, so no reference cycle can form.

#include "comifaces.h"
#include "comptr.h"

#include <memory>
#include <mutex>
#include <vector>

namespace zelk::com {

class ConnectionPoint final : public IConnectionPoint {
public:
    // `container` is the object that owns this point (through ConnectionPointContainer);
    // not counted. `maxSinks` 0 means no limit.
    ConnectionPoint(IConnectionPointContainer* container, REFIID iid, ULONG maxSinks = 0);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // A point is an object of its own for QueryInterface (IUnknown, IConnectionPoint),
    // but its reference count is the container's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // Keeps the sink's answer for the outgoing interface; CONNECT_E_CANNOTCONNECT when it
    // has none, CONNECT_E_ADVISELIMIT when the point is full. Cookies are never 0.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    // CONNECT_E_NOCONNECTION for a cookie that is not (or no longer) advised.
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    const IID& Iid() const noexcept { return FIid; }
    std::size_t SinkCount() const;
    // The advised sinks (each the pointer the sink answered for the outgoing interface),
    // AddRef'd and taken under the lock, for calls made outside it.
    std::vector<ComPtr<IUnknown>> Sinks() const;
    // Calls `call(I*)` for every sink advised at the moment of the call. The sinks are
    // called outside the lock and each is held meanwhile, so a sink may unadvise (or be
    // unadvised) during its own call and stays alive until that call returns. `I` must
    // be the outgoing interface.
    template <class I, class Fn> void ForEachSink(Fn&& call) const {
        for (const auto& sink : Sinks())
            call(static_cast<I*>(static_cast<void*>(sink.Get())));
    }
    // Drops every connection (the server is going away).
    void UnadviseAll();

private:
    struct Connection {
        DWORD Cookie;
        ComPtr<IUnknown> Sink;
    };

    IConnectionPointContainer* const FContainer; // not counted: the container owns us
    const IID FIid;
    const ULONG FMaxSinks;
    mutable std::mutex FMutex;
    std::vector<Connection> FConnections; // guarded by FMutex
    DWORD FLastCookie = 0;                // guarded by FMutex
};

// The connection points of one object and its IConnectionPointContainer answers. A
// member of the object; add the points while the object is being built, the set is
// fixed afterwards (which is why finding one needs no lock).
class ConnectionPointContainer {
public:
    // `self` is the object that holds this helper; not counted.
    explicit ConnectionPointContainer(IConnectionPointContainer* self) : FSelf(self) {}
    ConnectionPointContainer(const ConnectionPointContainer&) = delete;
    ConnectionPointContainer& operator=(const ConnectionPointContainer&) = delete;

    ConnectionPoint& Add(REFIID iid, ULONG maxSinks = 0);
    // The point for `iid`, or null.
    ConnectionPoint* Find(REFIID iid) const;

    // CONNECT_E_NOCONNECTION when the object has no point for `riid`.
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) const;
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) const;

private:
    IConnectionPointContainer* const FSelf;
    std::vector<std::unique_ptr<ConnectionPoint>> FPoints;
};

} // namespace zelk::com
