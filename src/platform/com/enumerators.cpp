#include "enumerators.h"

#include <cstring>

namespace zelk::com {

LPOLESTR TaskMemString(const QString& text) {
    const auto length = static_cast<std::size_t>(text.size());
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(OLECHAR)));
    if (!copy)
        return nullptr;
    std::memcpy(copy, text.constData(), length * sizeof(OLECHAR));
    copy[length] = u'\0';
    return copy;
}

} // namespace zelk::com
