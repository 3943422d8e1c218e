#include "syserror.h"

#include "OsHelpers.h"
#include "taskmem.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct MessageEntry {
    DWORD code;
    std::u16string_view text;
};

// Win32 error codes (also found through their HRESULT_FROM_WIN32 form) and the HRESULT
// codes of COM, automation and RPC. The codes 0x80040200 and 0x80040202 (the connection
// point errors "no connection" and "cannot connect") have no system text on Windows:
// that range belongs to the COM+ event system, which is also why 0x80040201 reads as it
// does.
constexpr MessageEntry Messages[] = {
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {31, u"A device attached to the system is not functioning.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {67, u"The network name cannot be found.\r\n"},
    {80, u"The file exists.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {120, u"This function is not supported on this system.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {161, u"The specified path is invalid.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {234, u"More data is available.\r\n"},
    {259, u"No more data is available.\r\n"},
    {1004, u"Invalid flags.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1222, u"The network is not present or not started.\r\n"},
    {1223, u"The operation was canceled by the user.\r\n"},
    {1326, u"The user name or password is incorrect.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1722, u"The RPC server is unavailable.\r\n"},
    {1723, u"The RPC server is too busy to complete this operation.\r\n"},
    {1726, u"The remote procedure call failed.\r\n"},
    {1727, u"The remote procedure call failed and did not execute.\r\n"},
    {1753, u"There are no more endpoints available from the endpoint mapper.\r\n"},

    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004004, u"Operation aborted\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x8000000A, u"The data necessary to complete this operation is not yet available.\r\n"},
    {0x8000000B, u"The operation attempted to access data outside the valid range\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},

    {0x80010001, u"Call was rejected by callee.\r\n"},
    {0x80010002, u"Call was canceled by the message filter.\r\n"},
    {0x80010105, u"The server threw an exception.\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x80010108, u"The object invoked has disconnected from its clients.\r\n"},
    {0x8001010A, u"The message filter indicated that the application is busy.\r\n"},
    {0x8001010E,
     u"The application called an interface that was marshalled for a different thread.\r\n"},
    {0x80010114, u"The requested object does not exist.\r\n"},
    {0x80010119, u"Security must be initialized before any interfaces are marshalled or "
                 u"unmarshalled. It cannot be changed once initialized.\r\n"},
    {0x8001011F, u"This operation returned because the timeout period expired.\r\n"},

    {0x80020001, u"Unknown interface.\r\n"},
    {0x80020003, u"Member not found.\r\n"},
    {0x80020004, u"Parameter not found.\r\n"},
    {0x80020005, u"Type mismatch.\r\n"},
    {0x80020006, u"Unknown name.\r\n"},
    {0x80020007, u"No named arguments.\r\n"},
    {0x80020008, u"Bad variable type.\r\n"},
    {0x80020009, u"Exception occurred.\r\n"},
    {0x8002000A, u"Out of present range.\r\n"},
    {0x8002000B, u"Invalid index.\r\n"},
    {0x8002000C, u"Unknown language.\r\n"},
    {0x8002000D, u"Memory is locked.\r\n"},
    {0x8002000E, u"Invalid number of parameters.\r\n"},
    {0x8002000F, u"Parameter not optional.\r\n"},
    {0x80020010, u"Invalid callee.\r\n"},
    {0x80020011, u"Does not support a collection.\r\n"},
    {0x80020012, u"Division by zero.\r\n"},

    {0x80040110, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040150, u"Could not read key from registry\r\n"},
    {0x80040151, u"Could not write key to registry\r\n"},
    {0x80040152, u"Could not find the key in the registry\r\n"},
    {0x80040153, u"Invalid value for registry\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x80040155, u"Interface not registered\r\n"},
    {0x80040201, u"An event was unable to invoke any of the subscribers\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x800401F1, u"CoInitialize has already been called.\r\n"},
    {0x800401F3, u"Invalid class string\r\n"},
    {0x800401F4, u"Invalid interface string\r\n"},
    {0x800401F5, u"Application not found\r\n"},
    {0x800401F8, u"DLL for class not found\r\n"},
    {0x800401F9, u"Error in the DLL\r\n"},
    {0x800401FA, u"Wrong OS or OS version for application\r\n"},
    {0x800401FB, u"Object is not registered\r\n"},
    {0x800401FC, u"Object is already registered\r\n"},
    {0x800401FD, u"Object is not connected to server\r\n"},
    {0x800401FE, u"Application was launched but it didn't register a class factory\r\n"},
    {0x80080005, u"Server execution failed\r\n"},
};

const MessageEntry* Find(DWORD code) {
    const auto* end = std::end(Messages);
    const auto* found = std::find_if(std::begin(Messages), end,
                                     [code](const MessageEntry& e) { return e.code == code; });
    return found == end ? nullptr : found;
}

std::u16string_view LookUp(DWORD code) {
    if (const MessageEntry* entry = Find(code))
        return entry->text;
    // An error HRESULT of FACILITY_WIN32 reads as its Win32 code.
    const auto hr = static_cast<HRESULT>(code);
    if (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        if (const MessageEntry* entry = Find(HRESULT_CODE(hr)))
            return entry->text;
    return {};
}

std::u16string MessageFor(DWORD dwFlags, DWORD code) {
    const std::u16string_view text = LookUp(code);
    if ((dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != FORMAT_MESSAGE_MAX_WIDTH_MASK)
        return std::u16string(text);
    std::u16string joined;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 2) == u"\r\n") {
            joined += u' ';
            ++i;
        } else {
            joined += text[i];
        }
    }
    return joined;
}

} // namespace

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* block = CoTaskMemAlloc(uBytes);
    if (block && (uFlags & LMEM_ZEROINIT))
        std::memset(block, 0, uBytes);
    return block;
}

HLOCAL LocalFree(HLOCAL hMem) {
    CoTaskMemFree(hMem);
    return nullptr;
}

DWORD FormatMessageW(DWORD dwFlags, const void* /*lpSource*/, DWORD dwMessageId,
                     DWORD /*dwLanguageId*/, LPWSTR lpBuffer, DWORD nSize, void* /*Arguments*/) {
    // A failure says why through the thread's last error, as on Windows.
    const auto fail = [](DWORD error) {
        SetLastError(error);
        return DWORD{0};
    };
    if (!lpBuffer)
        return fail(ERROR_INVALID_PARAMETER);
    // The out-pointer is cleared first, so a caller that frees it after a failure is safe.
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER)
        *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & FORMAT_MESSAGE_FROM_STRING))
        return fail(ERROR_INVALID_PARAMETER);
    std::u16string text;
    try {
        text = MessageFor(dwFlags, dwMessageId);
    } catch (...) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (text.empty())
        return fail(ERROR_MR_MID_NOT_FOUND);
    const std::size_t length = text.size();
    LPWSTR target = lpBuffer;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        const std::size_t chars = std::max<std::size_t>(length + 1, nSize);
        target = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, chars * sizeof(WCHAR)));
        if (!target)
            return fail(ERROR_NOT_ENOUGH_MEMORY);
        *reinterpret_cast<LPWSTR*>(lpBuffer) = target;
    } else if (nSize < length + 1) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(target, text.data(), length * sizeof(WCHAR));
    target[length] = 0;
    return static_cast<DWORD>(length);
}

namespace zelk::com {

QString SystemMessageText(HRESULT code) {
    const std::u16string_view text = LookUp(static_cast<DWORD>(code));
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace zelk::com
