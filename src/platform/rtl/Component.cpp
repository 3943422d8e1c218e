#include "Component.h"

namespace {

bool IsIdentifier(const QString& text) {
    if (text.isEmpty())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
        const bool digit = c >= u'0' && c <= u'9';
        if (!letter && !(digit && i > 0))
            return false;
    }
    return true;
}

} // namespace

TComponent::TComponent(TComponent* AOwner) : QObject(nullptr) {
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Partners first, while the owned components still exist; the owner hears of it once,
    // through RemoveComponent below.
    while (!FFreeNotifies.isEmpty()) {
        TComponent* partner = FFreeNotifies.takeLast();
        partner->FFreeNotifies.removeAll(this);
        if (partner != FOwner)
            partner->Notification(this, opRemove);
    }
    while (!FComponents.isEmpty())
        delete FComponents.last(); // leaves FComponents through RemoveComponent
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::SetName(const QString& NewName) {
    if (NewName == objectName())
        return;
    ValidateRename(NewName);
    setObjectName(NewName);
}

void TComponent::ValidateRename(const QString& NewName) const {
    if (NewName.isEmpty())
        return;
    if (!IsIdentifier(NewName))
        throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(NewName));
    if (FOwner) {
        TComponent* other = FOwner->FindComponent(NewName);
        if (other && other != this)
            throw EComponentError(
                QStringLiteral("A component named %1 already exists").arg(NewName));
    }
}

TComponent* TComponent::Components(int Index) const {
    if (Index < 0 || Index >= FComponents.size())
        throw EListError::IndexOutOfBounds(Index);
    return FComponents.at(Index);
}

TComponent* TComponent::FindComponent(const QString& AName) const {
    if (AName.isEmpty())
        return nullptr;
    for (TComponent* component : FComponents) {
        if (component->Name().compare(AName, Qt::CaseInsensitive) == 0)
            return component;
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (!AComponent || AComponent->FOwner == this)
        return;
    if (!AComponent->Name().isEmpty() && FindComponent(AComponent->Name()))
        throw EComponentError(
            QStringLiteral("A component named %1 already exists").arg(AComponent->Name()));
    if (AComponent->FOwner)
        AComponent->FOwner->RemoveComponent(AComponent);
    FComponents.append(AComponent);
    AComponent->FOwner = this;
    AComponent->setParent(this);
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    if (!AComponent || AComponent->FOwner != this)
        return;
    Notification(AComponent, opRemove);
    FComponents.removeOne(AComponent);
    AComponent->FOwner = nullptr;
    AComponent->setParent(nullptr);
}

void TComponent::SetDesigning(bool Value) {
    if (Value)
        FComponentState.Include(csDesigning);
    else
        FComponentState.Exclude(csDesigning);
    for (TComponent* component : FComponents)
        component->SetDesigning(Value);
}

void TComponent::Destroying() {
    if (FComponentState.Contains(csDestroying))
        return;
    FComponentState.Include(csDestroying);
    for (TComponent* component : FComponents)
        component->Destroying();
}

void TComponent::SetLoading(bool Value) {
    if (Value)
        FComponentState.Include(csLoading);
    else
        FComponentState.Exclude(csLoading);
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this || FFreeNotifies.contains(AComponent))
        return;
    FFreeNotifies.append(AComponent);
    AComponent->FFreeNotifies.append(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    Unlink(AComponent);
}

void TComponent::Unlink(TComponent* AComponent) {
    if (!AComponent)
        return;
    FFreeNotifies.removeAll(AComponent);
    AComponent->FFreeNotifies.removeAll(this);
}

void TComponent::Loaded() {
    SetLoading(false);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove)
        Unlink(AComponent);
}
