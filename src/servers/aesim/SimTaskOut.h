#pragma once

// Helpers of the server's methods: out arguments in task memory, and the text forms of
// arguments for the call record.

#include "comholders.h"
#include "comtypes.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <vector>

namespace zelk::aesim {

// An array of task-memory strings owned until it is handed to the caller; what is still
// owned is freed, strings and array. Throws std::bad_alloc when memory runs out.
class TSimTaskStrings {
public:
    explicit TSimTaskStrings(const QStringList& texts);
    ~TSimTaskStrings();
    TSimTaskStrings(const TSimTaskStrings&) = delete;
    TSimTaskStrings& operator=(const TSimTaskStrings&) = delete;

    DWORD Count() const noexcept { return FCount; }
    // Null for an empty list.
    [[nodiscard]] LPWSTR* Detach() noexcept;

private:
    void Free() noexcept;

    LPWSTR* FItems = nullptr;
    DWORD FCount = 0;
};

// A task-memory copy of `values`; empty for none.
template <class T> zelk::com::TaskMem<T> TaskValues(const std::vector<T>& values) {
    if (values.empty())
        return {};
    auto block = zelk::com::TaskMem<T>::Alloc(values.size());
    std::copy(values.begin(), values.end(), block.Get());
    return block;
}

// The texts of the call record: "null" for a null string, "[a,b]" for lists, FILETIMEs
// as 16 hexadecimal digits.
QString ArgText(LPCWSTR text);
QString ArgList(const QStringList& items);
QString ArgStrings(DWORD count, const LPWSTR* texts);
QString ArgTime(const FILETIME& time);

// The strings of a caller's array; a null array or element gives nothing.
std::optional<QStringList> InStrings(DWORD count, const LPWSTR* texts);

} // namespace zelk::aesim
