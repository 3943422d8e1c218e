#include "ZelkTransport.h"

#include "ZelkExceptions.h"

#include <vector>

namespace {

const QString UsesClauseHint =
    QStringLiteral("add ZelkXMLLink, ZelkCOMLink or ZelkUALink in uses clause");

// Written only while the program starts, before other threads exist; read afterwards.
std::vector<std::unique_ptr<TIFRegisterClass>>& Registry() {
    static std::vector<std::unique_ptr<TIFRegisterClass>> entries;
    return entries;
}

} // namespace

bool RegisterConnectionType(std::unique_ptr<TIFRegisterClass> Entry) {
    if (!Entry || FindConnectionType(Entry->Connectiontype, false))
        return false;
    Registry().push_back(std::move(Entry));
    return true;
}

TIFRegisterClass* FindConnectionType(tZelkConnectionType Kind, bool RaiseIfMissing) {
    for (const auto& entry : Registry())
        if (entry->Connectiontype == Kind)
            return entry.get();
    if (RaiseIfMissing)
        throw EOPCException(QStringLiteral("Connection not registered\r\n") + UsesClauseHint);
    return nullptr;
}

bool ConnectionTypeRegistered(tZelkConnectionType Kind) {
    return FindConnectionType(Kind, false) != nullptr;
}

tZelkConnectionType DefaultConnectionType() {
    if (Registry().empty())
        throw EOPCException(QStringLiteral("No default connection registered ") + UsesClauseHint);
    return Registry().front()->Connectiontype;
}

ComPtr<IZelkServerBrowser> CreateServerBrowser(tZelkConnectionType Kind) {
    TIFRegisterClass* entry = FindConnectionType(Kind, true);
    if (!entry->IFCreateServerBrowser)
        throw EOPCException(QStringLiteral("Connection not registered\r\n") + UsesClauseHint);
    return entry->IFCreateServerBrowser();
}

void ResolveServerNames(tZelkConnectionType Kind, const QString& Name, QString& Caption,
                        QString& ClsId) {
    TIFRegisterClass* entry = FindConnectionType(Kind, true);
    if (entry->IFGetServerNames)
        entry->IFGetServerNames(Name, Caption, ClsId);
}

namespace zelk::testing {

TScopedConnectionRegistry::TScopedConnectionRegistry() : FSaved(std::move(Registry())) {
    Registry().clear();
}

TScopedConnectionRegistry::~TScopedConnectionRegistry() {
    Registry() = std::move(FSaved);
}

} // namespace zelk::testing
