// A program outside the project that uses the platform layer through the package.
#include "Exceptions.h"
#include "comptr.h"

int main() {
    try {
        throw EOleSysError(QStringLiteral("Unspecified error"), E_FAIL);
    } catch (const EOleSysError& e) {
        return e.ErrorCode() == E_FAIL && IsEqualGUID(IID_IUnknown, __uuidof(IUnknown)) ? 0 : 1;
    }
}
