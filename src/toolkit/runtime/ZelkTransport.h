#pragma once

// The transport abstraction: the interfaces through which a client component drives
// its connection and enumerates servers, and the registry in which each transport
// present in the program enters its factories at start-up.

#include "ZelkTypes.h"
#include "comptr.h"

#include <QStringList>
#include <memory>

class TZelkComponent;

// The connection a client component holds while it is connected. The methods raise
// the toolkit's exceptions; unlike a server's COM interface this one never crosses a
// process, so its failures are exceptions, not result codes.
ZELK_INTERFACE_IDENTITY(IZelkConnection, IUnknown, "2E0EDBB1-C374-4575-B7AC-0CCBAB0973B9");
struct IZelkConnection : IUnknown {
    virtual void Connect(const QString& ClientName, const QString& Server, const QString& Computer,
                         const QStringList& Params, int Delay) = 0;
    virtual void Disconnect() = 0;
    virtual int GetLocaleId() = 0;
    virtual bool SetOption(const QString& Option, const QString& Value) = 0;
    virtual void SetLocaleId(int Value) = 0;
    // 1 = DA 1, 2 = DA 2, 3 = DA 3, 4 = XML DA 1, 5 = UA 1.
    virtual int Servertype() = 0;
    virtual TObject* GetObject() = 0;
    virtual tZelkConnectionType Connectiontype() = 0;
    virtual bool SetClientName(const QString& ClientName) = 0;
    // The keep-alive probe; false means that the server no longer answers.
    virtual bool DoTimer() = 0;

protected:
    ~IZelkConnection() = default;
};

// Data Access connections, groups and item browsers: their factories are part of a
// transport's registration, but nothing in this program uses them.
ZELK_INTERFACE_IDENTITY(IZelkDAConnection, IZelkConnection, "B64D9A7C-1FA9-4AC3-9049-3C36448580DD");
struct IZelkDAConnection : IZelkConnection {
protected:
    ~IZelkDAConnection() = default;
};
ZELK_INTERFACE_IDENTITY(IZelkGroup, IUnknown, "0B39CD52-407F-4983-A1EF-33E36ACAA2C3");
struct IZelkGroup : IUnknown {
protected:
    ~IZelkGroup() = default;
};
ZELK_INTERFACE_IDENTITY(IZelkBrowser, IUnknown, "B17D0EFD-A7E8-4DA3-BC3B-DE22AE3E73E9");
struct IZelkBrowser : IUnknown {
protected:
    ~IZelkBrowser() = default;
};

ZELK_INTERFACE_IDENTITY(IZelkServerBrowser, IUnknown, "EE37583A-B0C2-41C2-A263-CEAE0601CD55");
struct IZelkServerBrowser : IUnknown {
    // Enumerates the servers of the kinds in `Servertype` on `Computer` and calls
    // `AddServerEvent` once per server found.
    virtual void Execute(tZelkServerSet Servertype, const QString& Computer, const QString& Proxy,
                         int Options, const tZelkAddServerEvent& AddServerEvent) = 0;

protected:
    ~IZelkServerBrowser() = default;
};

// One transport's registration: its kind and its factories.
struct TIFRegisterClass {
    tZelkConnectionType Connectiontype = coCOM;
    std::function<ComPtr<IZelkServerBrowser>()> IFCreateServerBrowser;
    std::function<ComPtr<IZelkGroup>(IZelkConnection* Owner)> IFCreateGroup;
    std::function<ComPtr<IZelkBrowser>(IZelkDAConnection* Connection)> IFCreateBrowser;
    std::function<void(const QString& Name, QString& Caption, QString& ClsId)> IFGetServerNames;
    std::function<ComPtr<IZelkDAConnection>(TZelkComponent* AOwner, TObject* Unused)>
        IFCreateDAServer;
};

// Enters `Entry` into the registry, which then owns it. A second registration for a
// transport that is already present is refused (false) and `Entry` is destroyed.
bool RegisterConnectionType(std::unique_ptr<TIFRegisterClass> Entry);
// The first registration for `Kind`; null when there is none and `RaiseIfMissing` is
// false, otherwise EOPCException "Connection not registered".
TIFRegisterClass* FindConnectionType(tZelkConnectionType Kind, bool RaiseIfMissing);
bool ConnectionTypeRegistered(tZelkConnectionType Kind);
// The transport registered first; EOPCException when none is.
tZelkConnectionType DefaultConnectionType();
ComPtr<IZelkServerBrowser> CreateServerBrowser(tZelkConnectionType Kind);
void ResolveServerNames(tZelkConnectionType Kind, const QString& Name, QString& Caption,
                        QString& ClsId);

namespace zelk::testing {
// Replaces the transport registry by an empty one for the lifetime of the object and
// restores the previous entries afterwards. For tests only: the program fills the
// registry once at start-up and never empties it.
class TScopedConnectionRegistry {
public:
    TScopedConnectionRegistry();
    ~TScopedConnectionRegistry();
    TScopedConnectionRegistry(const TScopedConnectionRegistry&) = delete;
    TScopedConnectionRegistry& operator=(const TScopedConnectionRegistry&) = delete;

private:
    std::vector<std::unique_ptr<TIFRegisterClass>> FSaved;
};
} // namespace zelk::testing
