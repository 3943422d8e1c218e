#include "ZelkCOMAEConnection.h"

namespace {

// The status record a server returns: the record and its vendor text are task memory.
struct TReturnedStatus {
    OPCEVENTSERVERSTATUS* Record = nullptr;
    TReturnedStatus() = default;
    TReturnedStatus(const TReturnedStatus&) = delete;
    TReturnedStatus& operator=(const TReturnedStatus&) = delete;
    ~TReturnedStatus() {
        if (Record)
            CoTaskMemFree(Record->szVendorInfo);
        CoTaskMemFree(Record);
    }
};

} // namespace

TZelkCOMAEConnection::TZelkCOMAEConnection(TComponent* AOwner) : TZelkCOMConnection(AOwner) {}

ComPtr<TZelkCOMAEConnection> TZelkCOMAEConnection::Create(TComponent* AOwner) {
    ComPtr<TZelkCOMAEConnection> connection;
    connection.Attach(new TZelkCOMAEConnection(AOwner));
    return connection;
}

ComPtr<IOPCEventServer> TZelkCOMAEConnection::OPCServer() {
    const ComPtr<IUnknown> server = TZelkCOMConnection::OPCServer();
    if (!server)
        return nullptr;
    ComPtr<IOPCEventServer> eventServer;
    if (FAILED(server.As(&eventServer)) || !eventServer)
        throw EIntfCastError(QStringLiteral("Interface not supported"));
    return eventServer;
}

OPCEVENTSERVERSTATUS TZelkCOMAEConnection::GetStatus() {
    const QString notConnected = QStringLiteral("Not connected to server");
    CheckConnected();
    const ComPtr<IOPCEventServer> server = OPCServer();
    if (!server)
        throw EOPCServerException(notConnected);
    TReturnedStatus status;
    OPCCheck(server->GetStatus(&status.Record));
    if (!status.Record)
        throw EOPCServerException(notConnected);
    OPCEVENTSERVERSTATUS copy = *status.Record;
    copy.szVendorInfo = nullptr;
    return copy;
}

bool TZelkCOMAEConnection::DoTimer() {
    try {
        GetStatus();
        return true;
    } catch (...) {
        return false;
    }
}
