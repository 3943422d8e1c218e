#include "ZelkCOMHelpers.h"

#include "Exceptions.h"
#include "OsHelpers.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace {

LPCOLESTR WideText(const QString& text) {
    return reinterpret_cast<LPCOLESTR>(text.utf16());
}

} // namespace

QString SysErrorMessage(HRESULT code) {
    LPWSTR buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    QString text = length > 0 && buffer
                       ? QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), length)
                       : QString();
    LocalFree(buffer);
    while (!text.isEmpty() && (text.back().unicode() <= u' ' || text.back() == u'.'))
        text.chop(1);
    return text;
}

void OleError(HRESULT code) {
    QString message = SysErrorMessage(code);
    if (message.isEmpty())
        message = QStringLiteral("OLE error %1")
                      .arg(static_cast<std::uint32_t>(code), 8, 16, QLatin1Char('0'));
    throw EOleSysError(message, code);
}

void OleCheck(HRESULT code) {
    if (FAILED(code))
        OleError(code);
}

bool NameToClsid(const QString& Name, CLSID& ClassId) {
    if (SUCCEEDED(CLSIDFromProgID(WideText(Name), &ClassId)))
        return true;
    const zelk::com::BStr text(Name);
    return CLSIDFromString(text.Get(), &ClassId) == S_OK;
}

bool IsClsidStr(const QString& Name) {
    CLSID classId;
    return CLSIDFromString(WideText(Name), &classId) == S_OK;
}

QString ClsidToStr(REFCLSID ClassId) {
    zelk::com::TaskMem<OLECHAR> text;
    if (FAILED(StringFromCLSID(ClassId, text.Put())))
        return QString();
    return zelk::com::ToQString(text.Get());
}

void GetCOMServerNames(const QString& Name, QString& Caption, QString& ClsId) {
    Caption.clear();
    ClsId.clear();
    if (IsClsidStr(Name))
        ClsId = Name;
    else
        Caption = Name;

    CLSID classId;
    if (SUCCEEDED(CLSIDFromProgID(WideText(Name), &classId))) {
        ClsId = ClsidToStr(classId);
        Caption = ClsId;
        return;
    }
    const zelk::com::BStr text(Name);
    if (CLSIDFromString(text.Get(), &classId) != S_OK)
        return;
    zelk::com::TaskMem<OLECHAR> progId;
    if (ProgIDFromCLSID(classId, progId.Put()) != S_OK)
        return;
    Caption = zelk::com::ToQString(progId.Get());
    ClsId = ClsidToStr(classId);
}

BSTR StrToBSTR(const QString& S) {
    return zelk::com::BStrFromQString(S);
}

void EnumStringToStrings(IEnumString* Enum, QStringList& Strings) {
    Strings.clear();
    if (!Enum)
        return;
    constexpr ULONG BatchSize = 100;
    for (;;) {
        // Zero-filled, so every non-null entry afterwards is a string the enumerator
        // handed out; the guard frees them all, read or not.
        struct TBatch {
            std::array<LPOLESTR, BatchSize> Texts{};
            ~TBatch() {
                for (LPOLESTR text : Texts)
                    CoTaskMemFree(text);
            }
        } batch;
        ULONG fetched = 0;
        const HRESULT hr = Enum->Next(BatchSize, batch.Texts.data(), &fetched);
        fetched = std::min(fetched, BatchSize);
        for (ULONG i = 0; i < fetched; ++i) {
            const LPOLESTR text = batch.Texts[i];
            if (!text || !*text)
                return;
            Strings.append(QString::fromUtf16(text));
        }
        if (hr != S_OK || fetched == 0)
            return;
    }
}

namespace {
// The server's connection point for `Iid`; null when it has none.
ComPtr<IConnectionPoint> FindConnectionPoint(IUnknown* Server, REFIID Iid) {
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(Server->QueryInterface(IID_PPV_ARGS(container.Put()))) || !container)
        return nullptr;
    ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(Iid, point.Put())))
        return nullptr;
    return point;
}
} // namespace

HRESULT ConnectionAdvise(IUnknown* Server, REFIID Iid, IUnknown* Sink, DWORD& Cookie) {
    if (!Server)
        return E_FAIL;
    const ComPtr<IConnectionPoint> point = FindConnectionPoint(Server, Iid);
    if (!point)
        return E_FAIL;
    return point->Advise(Sink, &Cookie);
}

HRESULT ConnectionUnadvise(IUnknown* Server, REFIID Iid, DWORD Cookie) {
    if (!Server || Cookie == 0)
        return E_FAIL;
    const ComPtr<IConnectionPoint> point = FindConnectionPoint(Server, Iid);
    if (!point)
        return E_FAIL;
    return SUCCEEDED(point->Unadvise(Cookie)) ? S_OK : E_FAIL;
}

HRESULT InitCOMSecurity() {
    return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

ComPtr<IUnknown> CreateRemoteObject(REFCLSID ClassId, const QString& Computer) {
    std::vector<WCHAR> name(Computer.size() + 1, 0);
    std::copy_n(reinterpret_cast<const WCHAR*>(Computer.constData()), Computer.size(),
                name.begin());
    COSERVERINFO serverInfo{};
    serverInfo.pwszName = name.data();
    MULTI_QI request{&IID_IUnknown, nullptr, S_OK};
    const DWORD context = Computer.compare(ThisComputerName(), Qt::CaseInsensitive) == 0
                              ? CLSCTX_SERVER
                              : CLSCTX_REMOTE_SERVER;
    const HRESULT hr = CoCreateInstanceEx(ClassId, nullptr, context, &serverInfo, 1, &request);
    ComPtr<IUnknown> object;
    object.Attach(request.pItf);
    OleCheck(hr);
    OleCheck(request.hr);
    return object;
}

QString ThisComputerName() {
    std::vector<WCHAR> buffer(64);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!GetComputerNameW(buffer.data(), &size)) {
        if (GetLastError() != ERROR_BUFFER_OVERFLOW)
            return QString();
        buffer.resize(size);
        if (!GetComputerNameW(buffer.data(), &size))
            return QString();
    }
    return QString::fromUtf16(buffer.data(), size);
}
