#include "regkeys.h"

#include "guid.h"
#include "registry.h"

#include <QStringList>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

// An open key is only its path; what lies there is looked up in the class registry at
// every query, so a key reflects registrations made after it was opened.
struct HKEY__ {
    QStringList Path;
};

namespace {

using zelk::com::ClassRegistration;

struct KeyContents {
    std::vector<std::pair<QString, QString>> Values; // name ("" = default), text
};

struct OpenKeys {
    std::mutex Mutex;
    std::unordered_map<HKEY, std::unique_ptr<HKEY__>> Keys;
};

OpenKeys& TheOpenKeys() {
    static OpenKeys keys;
    return keys;
}

std::optional<GUID> ParseGuid(const QString& text) {
    GUID guid{};
    if (FAILED(CLSIDFromString(reinterpret_cast<LPCOLESTR>(text.utf16()), &guid)))
        return std::nullopt;
    return guid;
}

QString GuidText(REFGUID guid) {
    OLECHAR text[40];
    const int written = StringFromGUID2(guid, text, 40);
    return written > 0 ? QString::fromUtf16(text) : QString();
}

bool Is(const QString& part, const char* name) {
    return part.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

std::optional<KeyContents> Default(const QString& value) {
    return KeyContents{{{QString(), value}}};
}

std::optional<KeyContents> CategoryKey(const std::vector<CATID>& list, const QStringList& path) {
    if (list.empty())
        return std::nullopt;
    if (path.size() == 3)
        return KeyContents{};
    const auto catid = ParseGuid(path[3]);
    if (path.size() > 4 || !catid)
        return std::nullopt;
    for (const auto& c : list)
        if (IsEqualGUID(c, *catid))
            return KeyContents{};
    return std::nullopt;
}

// CLSID\{clsid}\…
std::optional<KeyContents> ClassKey(const ClassRegistration& c, const QStringList& path) {
    if (path.size() == 2)
        return Default(c.Description);
    const QString& sub = path[2];
    if (path.size() == 3 && Is(sub, "ProgID") && !c.ProgID.isEmpty())
        return Default(c.ProgID);
    if (path.size() == 3 && Is(sub, "VersionIndependentProgID") &&
        !c.VersionIndependentProgID.isEmpty())
        return Default(c.VersionIndependentProgID);
    if (path.size() == 3 && Is(sub, "InprocServer32") && (c.ServerContext & CLSCTX_INPROC_SERVER))
        return KeyContents{};
    if (path.size() == 3 && Is(sub, "LocalServer32") && (c.ServerContext & CLSCTX_LOCAL_SERVER))
        return KeyContents{};
    if (Is(sub, "Implemented Categories"))
        return CategoryKey(c.ImplementedCategories, path);
    if (Is(sub, "Required Categories"))
        return CategoryKey(c.RequiredCategories, path);
    return std::nullopt;
}

// <ProgID>\…
std::optional<KeyContents> ProgIDKey(const ClassRegistration& c, const QStringList& path) {
    const bool versioned = c.ProgID.compare(path[0], Qt::CaseInsensitive) == 0;
    if (path.size() == 1)
        return Default(c.Description);
    if (path.size() == 2 && Is(path[1], "CLSID"))
        return Default(GuidText(c.Clsid));
    if (path.size() == 2 && Is(path[1], "CurVer") && !versioned && !c.ProgID.isEmpty())
        return Default(c.ProgID);
    return std::nullopt;
}

std::optional<KeyContents> ComponentCategoriesKey(const QStringList& path) {
    if (path.size() == 1)
        return KeyContents{};
    const auto catid = ParseGuid(path[1]);
    if (path.size() > 2 || !catid)
        return std::nullopt;
    KeyContents contents;
    for (const auto& c : zelk::com::LocalRegistry().Categories())
        if (IsEqualGUID(c.Catid, *catid))
            contents.Values.emplace_back(QString::number(c.Lcid, 16), c.Description);
    if (contents.Values.empty())
        return std::nullopt;
    return contents;
}

// The key at `path` below HKEY_CLASSES_ROOT, or nothing when there is none.
std::optional<KeyContents> Lookup(const QStringList& path) {
    auto& registry = zelk::com::LocalRegistry();
    if (path.isEmpty())
        return KeyContents{};
    if (Is(path[0], "CLSID")) {
        if (path.size() == 1)
            return KeyContents{};
        const auto clsid = ParseGuid(path[1]);
        const auto c = clsid ? registry.Find(*clsid) : std::nullopt;
        return c ? ClassKey(*c, path) : std::nullopt;
    }
    if (Is(path[0], "Component Categories"))
        return ComponentCategoriesKey(path);
    const auto clsid = registry.FindProgID(path[0]);
    const auto c = clsid ? registry.Find(*clsid) : std::nullopt;
    return c ? ProgIDKey(*c, path) : std::nullopt;
}

// The path of an open key or of HKEY_CLASSES_ROOT; nothing for an invalid handle.
std::optional<QStringList> PathOf(HKEY key) {
    if (key == HKEY_CLASSES_ROOT)
        return QStringList();
    OpenKeys& open = TheOpenKeys();
    std::lock_guard lock(open.Mutex);
    auto it = open.Keys.find(key);
    if (it == open.Keys.end())
        return std::nullopt;
    return it->second->Path;
}

} // namespace

LSTATUS RegOpenKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                     PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    auto path = PathOf(hKey);
    if (!path)
        return ERROR_INVALID_HANDLE;
    if (lpSubKey)
        *path += QString::fromUtf16(lpSubKey).split(u'\\', Qt::SkipEmptyParts);
    if (!Lookup(*path))
        return ERROR_FILE_NOT_FOUND;
    auto key = std::make_unique<HKEY__>(HKEY__{std::move(*path)});
    HKEY handle = key.get();
    OpenKeys& open = TheOpenKeys();
    std::lock_guard lock(open.Mutex);
    open.Keys.emplace(handle, std::move(key));
    *phkResult = handle;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKey(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !*lpSubKey) {
        *phkResult = nullptr;
        if (!PathOf(hKey))
            return ERROR_INVALID_HANDLE;
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyEx(hKey, lpSubKey, 0, KEY_READ, phkResult);
}

LSTATUS RegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                        LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    const auto path = PathOf(hKey);
    if (!path)
        return ERROR_INVALID_HANDLE;
    const auto contents = Lookup(*path);
    if (!contents)
        return ERROR_KEY_DELETED;
    const QString name = lpValueName ? QString::fromUtf16(lpValueName) : QString();
    const QString* text = nullptr;
    for (const auto& [valueName, value] : contents->Values)
        if (valueName.compare(name, Qt::CaseInsensitive) == 0)
            text = &value;
    if (!text)
        return ERROR_FILE_NOT_FOUND;
    const auto size = static_cast<DWORD>((text->size() + 1) * sizeof(OLECHAR));
    if (lpType)
        *lpType = REG_SZ;
    if (!lpcbData)
        return ERROR_SUCCESS;
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData) {
        std::memcpy(lpData, text->utf16(), size - sizeof(OLECHAR));
        std::memset(lpData + size - sizeof(OLECHAR), 0, sizeof(OLECHAR));
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    std::unique_ptr<HKEY__> closed;
    OpenKeys& open = TheOpenKeys();
    std::lock_guard lock(open.Mutex);
    auto it = open.Keys.find(hKey);
    if (it == open.Keys.end())
        return ERROR_INVALID_HANDLE;
    closed = std::move(it->second);
    open.Keys.erase(it);
    return ERROR_SUCCESS;
}

namespace zelk::com {
std::size_t OpenRegistryKeys() {
    OpenKeys& open = TheOpenKeys();
    std::lock_guard lock(open.Mutex);
    return open.Keys.size();
}
} // namespace zelk::com
