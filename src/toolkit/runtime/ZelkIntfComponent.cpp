#include "ZelkIntfComponent.h"

#include "ZelkExceptions.h"

namespace {
TZelkComponent* CheckedOwner(TComponent* AOwner) {
    if (!AOwner)
        return nullptr;
    auto* owner = qobject_cast<TZelkComponent*>(AOwner);
    if (!owner)
        throw EOPCException(QStringLiteral("Owner is not inherited from TZelkComponent"));
    return owner;
}
} // namespace

TZelkIntfComponentBase::TZelkIntfComponentBase(TComponent* AOwner) : FOwner(CheckedOwner(AOwner)) {}

TZelkComponent* TZelkIntfComponentBase::GetHandler() const {
    if (!FOwner)
        throw EOPCException(QStringLiteral("Owner has nil value"));
    return FOwner;
}
