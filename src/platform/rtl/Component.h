#pragma once

// TComponent: the base of every non-visual component. Its Qt parent is its owner, which
// destroys it; it carries a name, a small state set and the removal notification that
// lets components hold plain pointers to each other safely.
//
// Components live on the user-interface thread; nothing here is locked.

#include "Exceptions.h"

#include <QList>
#include <QObject>
#include <QString>
#include <initializer_list>

enum TOperation { opInsert, opRemove };

enum TComponentStateItem { csLoading, csDesigning, csDestroying };

// A set over TComponentStateItem (member i is bit i).
class TComponentState {
public:
    constexpr TComponentState() = default;
    constexpr TComponentState(std::initializer_list<TComponentStateItem> items) {
        for (auto item : items)
            FBits |= Bit(item);
    }

    constexpr bool Contains(TComponentStateItem item) const { return (FBits & Bit(item)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr void Include(TComponentStateItem item) { FBits |= Bit(item); }
    constexpr void Exclude(TComponentStateItem item) { FBits &= ~Bit(item); }
    friend constexpr bool operator==(TComponentState, TComponentState) = default;

private:
    static constexpr unsigned Bit(TComponentStateItem item) { return 1u << item; }
    unsigned FBits = 0;
};

// Raised for a component name that is not an identifier or is already taken in the owner.
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

class TComponent;
void ReadComponentFromText(const QByteArray& Text, TComponent* Instance);

class TComponent : public QObject {
    Q_OBJECT
    // The name is stored in the text form's `object` line, not as a property line.
    Q_PROPERTY(QString Name READ Name WRITE SetName STORED false)

public:
    // The owner (when given) takes the component and destroys it with itself.
    explicit TComponent(TComponent* AOwner = nullptr);
    // Sets csDestroying, tells every component registered through FreeNotification and
    // the owner (opRemove), destroys the owned components (last first), then leaves the
    // owner. Receivers of that opRemove get a component whose subclass part is already
    // gone: they may compare the pointer and read Name(), nothing more.
    ~TComponent() override;

    QString Name() const { return objectName(); }
    // Empty, or an identifier not used by another component of the same owner (any case);
    // otherwise EComponentError.
    void SetName(const QString& NewName);

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int Index) const;
    TComponent* FindComponent(const QString& AName) const;
    // Move ownership; the Qt parent follows. Change owners only through these two.
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    TComponentState ComponentState() const { return FComponentState; }
    // Designing is inherited by the owned components, like the framework's design mode.
    void SetDesigning(bool Value);
    // Marks this component and its owned components as being destroyed. A subclass whose
    // destructor does work that checks csDestroying calls it first.
    void Destroying();

    // AComponent is told (Notification with opRemove) when this component is destroyed,
    // and this component is told when AComponent is; either side may die first.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

protected:
    // Called after the text form has been read into the component; clears csLoading.
    virtual void Loaded();
    // An owned component was inserted (opInsert) or is being removed (opRemove), or a
    // free-notification partner is being destroyed (opRemove). The base forgets a removed
    // partner; overrides clear their pointers to AComponent and call the base.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
    friend void ReadComponentFromText(const QByteArray& Text, TComponent* Instance);

    void SetLoading(bool Value);
    void ValidateRename(const QString& NewName) const;
    void Unlink(TComponent* AComponent);

    TComponent* FOwner = nullptr;
    // Not owning: the owned components are deleted explicitly by the destructor.
    QList<TComponent*> FComponents;
    // Not owning: partners of FreeNotification; both sides hold each other.
    QList<TComponent*> FFreeNotifies;
    TComponentState FComponentState;
};
