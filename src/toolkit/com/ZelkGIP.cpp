#include "ZelkGIP.h"

#include "Exceptions.h"
#include "ZelkCOMHelpers.h"

namespace {

[[noreturn]] void AssertionFailure(int line) {
    throw EAssertionFailed(QStringLiteral("Assertion failure (com\\ZelkCOM, line %1)").arg(line));
}

} // namespace

ComPtr<IGlobalInterfaceTable> GlobalInterfaceTable() {
    // Released by its destructor when the program ends. Made once, also when the first
    // use races with another thread's (a server call's thread revoking its entry); a
    // failed creation is tried again at the next use.
    static const ComPtr<IGlobalInterfaceTable> table = [] {
        ComPtr<IGlobalInterfaceTable> created;
        OleCheck(
            CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                             CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                             IID_PPV_ARGS(created.Put())));
        return created;
    }();
    return table;
}

TGIP::TGIP(IUnknown* Unk, REFIID AIID) {
    SetIntf(Unk, AIID);
}

TGIP::~TGIP() {
    try {
        RevokeIntf();
    } catch (...) {
        // The table refused to revoke: nothing a destructor could do about it.
    }
}

void TGIP::SetIntf(IUnknown* Unk, REFIID AIID) {
    if (!Unk || IsEqualGUID(AIID, GUID_NULL))
        AssertionFailure(325);
    RevokeIntf();
    DWORD cookie = 0;
    OleCheck(GlobalInterfaceTable()->RegisterInterfaceInGlobal(Unk, AIID, &cookie));
    FCookie = cookie;
    FIID = AIID;
}

void TGIP::GetIntf(void** Intf) const {
    if (FCookie == 0)
        AssertionFailure(311);
    OleCheck(GlobalInterfaceTable()->GetInterfaceFromGlobal(FCookie, FIID, Intf));
}

void TGIP::RevokeIntf() {
    if (FCookie == 0)
        return;
    OleCheck(GlobalInterfaceTable()->RevokeInterfaceFromGlobal(FCookie));
    FCookie = 0;
    FIID = GUID_NULL;
}
