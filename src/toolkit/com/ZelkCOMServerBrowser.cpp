#include "ZelkCOMServerBrowser.h"

#include "ScopeExit.h"
#include "ZelkCOMHelpers.h"

#include <algorithm>
#include <array>
#include <utility>

using enum ZelkEnums::tZelkServerKind;

namespace {

// The order in which kinds are walked: Alarms and Events last, although its bit is 3.
constexpr std::array<std::pair<tZelkServerKind, CATID>, 8> KindCategories{{
    {svr_DA10, CATID_OPCDAServer10},
    {svr_DA20, CATID_OPCDAServer20},
    {svr_DA30, CATID_OPCDAServer30},
    {svr_BA10, CATID_OPCBatchServer10},
    {svr_BA20, CATID_OPCBatchServer20},
    {svr_DX10, CATID_OPCDXServer10},
    {svr_HDA10, CATID_OPCHDAServer10},
    {svr_AE10, CATID_OPCAEServer10},
}};

using zelk::com::TaskMem;

// After a failed call the outputs are not the caller's: forget them unread.
void Abandon(TaskMem<OLECHAR>& Text) noexcept {
    static_cast<void>(Text.Detach());
}

HRESULT ClassDetails(IOPCServerList2* List, REFCLSID ClassId, TaskMem<OLECHAR>& ProgId,
                     TaskMem<OLECHAR>& UserType) {
    TaskMem<OLECHAR> versionIndependentProgId;
    const HRESULT hr = List->GetClassDetails(ClassId, ProgId.Put(), UserType.Put(),
                                             versionIndependentProgId.Put());
    if (FAILED(hr))
        Abandon(versionIndependentProgId);
    return hr;
}

HRESULT ClassDetails(IOPCServerList* List, REFCLSID ClassId, TaskMem<OLECHAR>& ProgId,
                     TaskMem<OLECHAR>& UserType) {
    return List->GetClassDetails(ClassId, ProgId.Put(), UserType.Put());
}

// The text of a value under HKEY_CLASSES_ROOT\`Key` (an empty `ValueName`: the default
// value) up to its terminating zero; empty when the key or the value cannot be read.
// The buffer is sized from the value, so a description of any length is read whole.
QString ReadClassesRootValue(const QString& Key, const QString& ValueName) {
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CLASSES_ROOT, reinterpret_cast<LPCWSTR>(Key.utf16()), &key) !=
        ERROR_SUCCESS)
        return QString();
    const zelk::rtl::ScopeExit closeKey([key] { RegCloseKey(key); });

    const LPCWSTR valueName =
        ValueName.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(ValueName.utf16());
    DWORD bytes = 0;
    LSTATUS status = RegQueryValueEx(key, valueName, nullptr, nullptr, nullptr, &bytes);
    // The value may grow between asking its size and reading it: ask again then.
    for (int attempt = 0; attempt < 4 && status == ERROR_SUCCESS; ++attempt) {
        std::vector<WCHAR> buffer(bytes / sizeof(WCHAR) + 1, 0);
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
        status = RegQueryValueEx(key, valueName, nullptr, nullptr,
                                 reinterpret_cast<LPBYTE>(buffer.data()), &size);
        if (status == ERROR_SUCCESS) {
            const auto end = std::find(buffer.begin(), buffer.end(), WCHAR{0});
            return QString::fromUtf16(buffer.data(), end - buffer.begin());
        }
        if (status == ERROR_MORE_DATA) {
            bytes = size;
            status = ERROR_SUCCESS;
        }
    }
    return QString();
}

QString GuidKeyText(REFGUID Guid) {
    std::array<OLECHAR, 39> text{};
    const int written = StringFromGUID2(Guid, text.data(), static_cast<int>(text.size()));
    return written > 0 ? QString::fromUtf16(text.data(), written - 1) : QString();
}

} // namespace

std::vector<CATID> TZelkCOMServerBrowser::CategoriesOf(tZelkServerSet Servertype) {
    std::vector<CATID> categories;
    for (const auto& [kind, category] : KindCategories)
        if (Servertype.Contains(kind))
            categories.push_back(category);
    return categories;
}

void TZelkCOMServerBrowser::Execute(tZelkServerSet Servertype, const QString& Computer,
                                    const QString& /*Proxy*/, int Options,
                                    const tZelkAddServerEvent& AddServerEvent) {
    if (Servertype.IsEmpty())
        return;
    FOnAddServer = AddServerEvent;
    const zelk::rtl::ScopeExit releaseLists([this] {
        FServerList2.Reset();
        FServerList.Reset();
    });

    ComPtr<IUnknown> enumerator;
    if (Computer.isEmpty()) {
        // A missing or failing local OPCEnum is taken as absent: the fallback follows.
        if (FAILED(CoCreateInstance(CLSID_OpcServerList, nullptr,
                                    CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    IID_PPV_ARGS(enumerator.Put()))))
            enumerator.Reset();
    } else {
        enumerator = CreateRemoteObject(CLSID_OpcServerList, Computer);
        if (!enumerator)
            throw EOPCServerListException(QStringLiteral("Computer: ") + Computer +
                                          QStringLiteral("not found"));
    }

    if (enumerator && FAILED(enumerator.As(&FServerList2)))
        FServerList2.Reset();
    if (enumerator && !FServerList2 && FAILED(enumerator.As(&FServerList)))
        FServerList.Reset();
    if (!FServerList2 && !FServerList) {
        enumerator.Reset();
        if (!Computer.isEmpty())
            throw EOPCServerListException(
                QStringLiteral("Error: interface IOPCServerList not found"));
    }

    if ((Options & BrowseWithTypes) != 0 || !enumerator) {
        for (const auto& [kind, category] : KindCategories)
            if (Servertype.Contains(kind))
                BrowseKind(kind);
    } else if (FServerList2) {
        BrowseServerList<IOPCServerList2, IOPCEnumGUID>(FServerList2.Get(),
                                                        CategoriesOf(Servertype), {});
    } else {
        BrowseServerList<IOPCServerList, IEnumGUID>(FServerList.Get(), CategoriesOf(Servertype),
                                                    {});
    }
}

void TZelkCOMServerBrowser::BrowseKind(tZelkServerKind Kind) {
    const std::vector<CATID> categories = CategoriesOf({Kind});
    if (FServerList2)
        BrowseServerList<IOPCServerList2, IOPCEnumGUID>(FServerList2.Get(), categories, {Kind});
    else if (FServerList)
        BrowseServerList<IOPCServerList, IEnumGUID>(FServerList.Get(), categories, {Kind});
    else
        BrowseCategoryManager(categories.front(), {Kind});
}

template <class TList, class TEnum>
void TZelkCOMServerBrowser::BrowseServerList(TList* List, const std::vector<CATID>& Categories,
                                             tZelkServerSet Kind) {
    auto categories = zelk::com::TaskMem<CATID>::Alloc(Categories.size());
    std::copy(Categories.begin(), Categories.end(), categories.Get());
    ComPtr<TEnum> classes;
    OleCheck(List->EnumClassesOfCategories(static_cast<ULONG>(Categories.size()), categories.Get(),
                                           0, nullptr, classes.Put()));
    if (!classes)
        return;
    constexpr ULONG BatchSize = 10;
    ULONG fetched = 0;
    do {
        std::array<CLSID, BatchSize> batch{};
        fetched = 0;
        if (FAILED(classes->Next(BatchSize, batch.data(), &fetched)))
            return;
        fetched = std::min(fetched, BatchSize);
        for (ULONG i = 0; i < fetched; ++i) {
            // One server that cannot be reported does not hide the others.
            try {
                TaskMem<OLECHAR> progId;
                TaskMem<OLECHAR> userType;
                if (FAILED(ClassDetails(List, batch[i], progId, userType))) {
                    Abandon(progId);
                    Abandon(userType);
                    continue;
                }
                Report(zelk::com::ToQString(userType.Get()), zelk::com::ToQString(progId.Get()),
                       batch[i], Kind);
            } catch (...) {
            }
        }
    } while (fetched > 0);
}

void TZelkCOMServerBrowser::BrowseCategoryManager(REFCATID Category, tZelkServerSet Kind) {
    ComPtr<ICatInformation> catalog;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(catalog.Put()))) ||
        !catalog)
        return;
    ComPtr<IEnumGUID> classes;
    OleCheck(catalog->EnumClassesOfCategories(1, &Category, 0, nullptr, classes.Put()));
    if (!classes)
        return;
    // Unguarded: a class without a ProgID, or a failing callback, ends the enumeration.
    CLSID classId{};
    ULONG fetched = 0;
    while (classes->Next(1, &classId, &fetched) == S_OK) {
        const QString caption =
            ReadClassesRootValue(QStringLiteral("CLSID\\") + GuidKeyText(classId), QString());
        TaskMem<OLECHAR> progId;
        OleCheck(ProgIDFromCLSID(classId, progId.Put()));
        Report(caption, zelk::com::ToQString(progId.Get()), classId, Kind);
    }
}

void TZelkCOMServerBrowser::Report(const QString& Caption, const QString& Name, REFCLSID ClassId,
                                   tZelkServerSet Kind) {
    if (FOnAddServer)
        FOnAddServer(Caption, Name, ClsidToStr(ClassId), Kind);
}
