#pragma once

// The process-wide global interface table and TGIP, one registration in it: through the
// table a server interface can be used from threads other than the one that obtained it.

#include "objbase.h"

#include <memory>

// The process-wide table, created on first use and kept until the program ends; callable
// from any thread. Raises EOleSysError when the table cannot be created.
ComPtr<IGlobalInterfaceTable> GlobalInterfaceTable();

// Owns one registration: created with a pointer, revoked when destroyed. Every failing
// table call raises EOleSysError; misuse raises EAssertionFailed.
class TGIP {
public:
    TGIP(IUnknown* Unk, REFIID AIID);
    // Revokes the registration; a failure to revoke is not reported.
    ~TGIP();
    TGIP(const TGIP&) = delete;
    TGIP& operator=(const TGIP&) = delete;

    // Registers `Unk` (not null) under `AIID` (not GUID_NULL), replacing the registration
    // held so far.
    void SetIntf(IUnknown* Unk, REFIID AIID);
    // The registered pointer for the calling thread, as interface IID(); the caller owns
    // the reference. Requires a registration.
    void GetIntf(void** Intf) const;
    // Nothing when nothing is registered.
    void RevokeIntf();

    DWORD Cookie() const noexcept { return FCookie; }
    ::IID IID() const noexcept { return FIID; }

private:
    DWORD FCookie = 0;
    ::IID FIID = GUID_NULL;
};

// A server interface handed to the thread of a server call (see ZelkServerCall.h): the
// interface is entered in the global interface table, and the thread fetches its own
// pointer from there. Copies share the entry, which is revoked when the last copy goes,
// on whichever thread that is.
template <class T> class TZelkThreadIntf {
public:
    explicit TZelkThreadIntf(T* Intf) : FEntry(std::make_shared<const TGIP>(Intf, __uuidof(T))) {}
    // The interface for the calling thread; raises EOleSysError when the table refuses.
    ComPtr<T> Get() const {
        ComPtr<T> intf;
        FEntry->GetIntf(intf.PutVoid());
        return intf;
    }

private:
    std::shared_ptr<const TGIP> FEntry;
};
