#include "comobject.h"

#include "Exceptions.h"

#include <new>

namespace zelk::com {

HRESULT ExceptionToHResult() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const EOleSysError& e) {
        // A "success" code carried by an error would tell the caller all went well.
        return FAILED(e.ErrorCode()) ? e.ErrorCode() : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace zelk::com
