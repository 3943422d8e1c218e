// A program outside the project that uses the platform layer and the journal through the
// package.
#include "Exceptions.h"
#include "ZelkJournal.h"
#include "comptr.h"

int main() {
    const TZelkJournalLocation journal =
        TZelkJournalLocation::Parse(QStringLiteral("postgresql://plant@db/journal"));
    if (journal.Backend != TZelkJournalBackend::PostgreSQL || journal.Database != u"journal")
        return 1;
    try {
        throw EOleSysError(QStringLiteral("Unspecified error"), E_FAIL);
    } catch (const EOleSysError& e) {
        return e.ErrorCode() == E_FAIL && IsEqualGUID(IID_IUnknown, __uuidof(IUnknown)) ? 0 : 1;
    }
}
