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

OPCEVENTSERVERSTATUS TZelkCOMAEConnection::StatusOf(IOPCEventServer* Server) {
    if (!Server)
        throw EOPCServerException(NotConnectedMessage);
    const std::optional<OPCEVENTSERVERSTATUS> status = ReadStatus(*Server);
    if (!status)
        throw EOPCServerException(NotConnectedMessage);
    return *status;
}

OPCEVENTSERVERSTATUS TZelkCOMAEConnection::GetStatus() {
    CheckConnected();
    return StatusOf(OPCServer().Get());
}

bool TZelkCOMAEConnection::DoTimer() {
    try {
        const std::shared_ptr<const TGIP> entry = ProbeEntry();
        if (!entry)
            return false;
        ComPtr<IUnknown> server;
        entry->GetIntf(server.PutVoid());
        ComPtr<IOPCEventServer> eventServer;
        if (!server || FAILED(server.As(&eventServer)))
            return false;
        StatusOf(eventServer.Get());
        return true;
    } catch (...) {
        return false;
    }
}

void TZelkCOMAEConnection::GetInterfaces() {
    TZelkCOMConnection::GetInterfaces();
    if (!FIServer)
        return;
    try {
        auto entry = std::make_shared<const TGIP>(FIServer.Get(), IID_IUnknown);
        const std::lock_guard lock(FProbeLock);
        FProbeEntry = std::move(entry);
    } catch (const EOleSysError&) {
        // No table entry: the keep-alive then finds the server gone, as it would be.
    }
}

void TZelkCOMAEConnection::ReleaseInterfaces() {
    std::shared_ptr<const TGIP> entry;
    {
        const std::lock_guard lock(FProbeLock);
        entry = std::move(FProbeEntry);
    }
    // Revoked here unless a probe still holds it; then the probe's thread revokes it.
    entry.reset();
    TZelkCOMConnection::ReleaseInterfaces();
}

std::shared_ptr<const TGIP> TZelkCOMAEConnection::ProbeEntry() const {
    const std::lock_guard lock(FProbeLock);
    return FProbeEntry;
}
