// A program outside the project that uses every layer through the package, including
// the headers by their place under include/zelk.
#include <zelk/aesim/ZelkAESim.h>
#include <zelk/dialogs/ZelkDefFilterDlg.h>
#include <zelk/dialogs/ZelkDlgServerSelect.h>
#include <zelk/journal/ZelkJournal.h>
#include <zelk/platform/Exceptions.h>
#include <zelk/platform/objbase.h>
#include <zelk/platform/opc_ae.h>
#include <zelk/toolkit/ZelkAE.h>
#include <zelk/toolkit/ZelkCom.h>
#include <zelk/toolkit/ZelkComn.h>

int main() {
    const TZelkJournalLocation journal =
        TZelkJournalLocation::Parse(QStringLiteral("postgresql://plant@db/journal"));
    if (journal.Backend != TZelkJournalBackend::PostgreSQL || journal.Database != u"journal")
        return 1;
    if (!IsEqualIID(__uuidof(IOPCEventServer), IID_IOPCEventServer))
        return 1;
    try {
        throw EOleSysError(QStringLiteral("Unspecified error"), E_FAIL);
    } catch (const EOleSysError& e) {
        return e.ErrorCode() == E_FAIL && IsEqualGUID(IID_IUnknown, __uuidof(IUnknown)) ? 0 : 1;
    }
}
