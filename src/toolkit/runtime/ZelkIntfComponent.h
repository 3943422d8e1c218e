#pragma once

// TZelkIntfComponent: the base of the reference-counted objects that a component owns
// and that implement toolkit interfaces (connections, server enumerators). It lives as
// long as references to its interfaces exist; its owner does not extend its lifetime.
//
//   class TMyConnection : public TZelkIntfComponent<TMyConnection, IZelkConnection> { … };
//   ComPtr<TMyConnection> connection = TMyConnection::Create(ownerComponent);

#include "Persistent.h"
#include "ZelkMsgQueue.h"
#include "comobject.h"

class TZelkIntfComponentBase : public TObject {
public:
    // A null owner is accepted; an owner that is not a TZelkComponent raises
    // EOPCException "Owner is not inherited from TZelkComponent".
    explicit TZelkIntfComponentBase(TComponent* AOwner);

    TZelkComponent* Owner() const noexcept { return FOwner; }
    // The component that callbacks of this object post to; EOPCException "Owner has nil
    // value" without one. Callable from any thread: it only reads the owner.
    TZelkComponent* GetHandler() const;

private:
    // Not counted: the owner releases this object before it goes away.
    TZelkComponent* const FOwner;
};

template <class Derived, class... Interfaces>
class TZelkIntfComponent : public zelk::com::ComObject<Derived, Interfaces...>,
                           public TZelkIntfComponentBase {
public:
    explicit TZelkIntfComponent(TComponent* AOwner) : TZelkIntfComponentBase(AOwner) {}
};
