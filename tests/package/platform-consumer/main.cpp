// A program outside the project that needs only the COM runtime stand-in.
#include <zelk/platform/objbase.h>

int main() {
    GUID guid{};
    const HRESULT hr = CLSIDFromString(u"{00000000-0000-0000-C000-000000000046}", &guid);
    return hr == S_OK && IsEqualGUID(guid, IID_IUnknown) ? 0 : 1;
}
