#pragma once

// TZelkCOMAEConnection: the COM connection of an event server. It adds to the COM
// connection the server's IOPCEventServer and a keep-alive probe that asks the server
// for its status.

#include "ZelkCom.h"
#include "opc_ae.h"

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
    // The server's status record without its vendor text (szVendorInfo is null).
    // EOPCServerException "Not connected to server" without a server object or when the
    // server answers without a record; a failing call raises through OPCCheck.
    OPCEVENTSERVERSTATUS GetStatus();
    // Whether GetStatus succeeds; never raises.
    bool DoTimer() override;
};
