#include "ZelkCOMAEConnection.h"

#include "comholders.h"

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

std::optional<OPCEVENTSERVERSTATUS> TZelkCOMAEConnection::ReadStatus(IOPCEventServer& Server,
                                                                     QString* VendorInfo) {
    // The record and its vendor text are task memory.
    zelk::com::TaskMem<OPCEVENTSERVERSTATUS> record;
    const HRESULT result = Server.GetStatus(record.Put());
    const zelk::com::TaskMem<OLECHAR> vendor(record ? record.Get()->szVendorInfo : nullptr);
    OPCCheck(result);
    if (!record)
        return std::nullopt;
    if (VendorInfo)
        *VendorInfo = zelk::com::ToQString(vendor.Get());
    OPCEVENTSERVERSTATUS copy = *record.Get();
    copy.szVendorInfo = nullptr;
    return copy;
}

OPCEVENTSERVERSTATUS TZelkCOMAEConnection::GetStatus() {
    CheckConnected();
    const ComPtr<IOPCEventServer> server = OPCServer();
    if (!server)
        throw EOPCServerException(NotConnectedMessage);
    const std::optional<OPCEVENTSERVERSTATUS> status = ReadStatus(*server);
    if (!status)
        throw EOPCServerException(NotConnectedMessage);
    return *status;
}

bool TZelkCOMAEConnection::DoTimer() {
    try {
        GetStatus();
        return true;
    } catch (...) {
        return false;
    }
}
