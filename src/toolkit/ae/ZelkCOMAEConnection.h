#pragma once

// TZelkCOMAEConnection: the COM connection of an event server. It adds to the COM
// connection the server's IOPCEventServer and a keep-alive probe that asks the server
// for its status.

#include "ZelkCom.h"
#include "opc_ae.h"

#include <memory>
#include <mutex>
#include <optional>

class TZelkCOMAEConnection : public TZelkCOMConnection {
public:
    explicit TZelkCOMAEConnection(TComponent* AOwner);
    static ComPtr<TZelkCOMAEConnection> Create(TComponent* AOwner);

    // The server object's IOPCEventServer; null while not connected. EIntfCastError when
    // the server object lacks the interface.
    ComPtr<IOPCEventServer> OPCServer();
    // The status record Server returns, its vendor text copied into VendorInfo when given
    // and szVendorInfo null; nothing when the server answers without a record. A failing
    // call raises through OPCCheck.
    static std::optional<OPCEVENTSERVERSTATUS> ReadStatus(IOPCEventServer& Server,
                                                          QString* VendorInfo = nullptr);
    // Server's status record without its vendor text (szVendorInfo is null).
    // EOPCServerException "Not connected to server" for a null Server or when the server
    // answers without a record; a failing call raises through OPCCheck.
    static OPCEVENTSERVERSTATUS StatusOf(IOPCEventServer* Server);
    // StatusOf this connection's server; "Not connected to server" without one.
    OPCEVENTSERVERSTATUS GetStatus();
    // Whether the server answers GetStatus; never raises. Called by the keep-alive on a
    // thread of its own: it reaches the server through the global interface table and
    // touches nothing else of this object.
    bool DoTimer() override;

protected:
    // The server is entered in the global interface table for the keep-alive probe.
    void GetInterfaces() override;
    void ReleaseInterfaces() override;

private:
    std::shared_ptr<const TGIP> ProbeEntry() const;

    // Set and cleared on the thread that connects; read by the probe's thread.
    mutable std::mutex FProbeLock;
    std::shared_ptr<const TGIP> FProbeEntry;
};
