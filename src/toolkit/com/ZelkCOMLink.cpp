#include "ZelkCOMLink.h"

#include "ZelkCOMHelpers.h"

namespace {

// The Data Access factories belong to a subsystem this program does not contain.
[[noreturn]] void DataAccessNotSupported() {
    throw EOPCException(QStringLiteral("Data Access is not supported"));
}

} // namespace

void RegisterZelkCOMLink() {
    auto entry = std::make_unique<TIFRegisterClass>();
    entry->Connectiontype = tZelkConnectionType::coCOM;
    entry->IFCreateServerBrowser = []() -> ComPtr<IZelkServerBrowser> {
        return TZelkCOMServerBrowser::Create(nullptr);
    };
    entry->IFGetServerNames = [](const QString& Name, QString& Caption, QString& ClsId) {
        GetCOMServerNames(Name, Caption, ClsId);
    };
    entry->IFCreateDAServer = [](TZelkComponent*, TObject*) -> ComPtr<IZelkDAConnection> {
        DataAccessNotSupported();
    };
    entry->IFCreateGroup = [](IZelkConnection*) -> ComPtr<IZelkGroup> { DataAccessNotSupported(); };
    entry->IFCreateBrowser = [](IZelkDAConnection*) -> ComPtr<IZelkBrowser> {
        DataAccessNotSupported();
    };
    // A refused registration (already registered) destroys the entry.
    RegisterConnectionType(std::move(entry));
}
