#include "DialogTestSupport.h"

#include "ZelkCOMLink.h"
#include "bstr.h"
#include "enumerators.h"

namespace zelk::dlgtest {

// ---- TTreeAreaBrowser ----

TTreeAreaBrowser::TTreeAreaBrowser(std::vector<int> fanout, int sourcesPerArea)
    : FFanout(std::move(fanout)), FSourcesPerArea(sourcesPerArea) {}

QStringList TTreeAreaBrowser::Names(const QString& prefix, int count) const {
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names.append(QStringLiteral("%1 %2").arg(prefix).arg(i));
    return names;
}

QString TTreeAreaBrowser::Qualified(const QString& name) const {
    return (FPath + QStringList{name}).join(QLatin1Char('.'));
}

HRESULT TTreeAreaBrowser::ChangeBrowsePosition(OPCAEBROWSEDIRECTION direction, LPCWSTR name) {
    const QString text = name ? zelk::com::ToQString(name) : QString();
    const auto depth = static_cast<std::size_t>(FPath.size());
    switch (direction) {
    case OPCAE_BROWSE_UP:
        if (FPath.isEmpty())
            return E_FAIL;
        FPath.removeLast();
        return S_OK;
    case OPCAE_BROWSE_DOWN:
        if (depth >= FFanout.size() ||
            !Names(QStringLiteral("Area"), FFanout[depth]).contains(text))
            return E_INVALIDARG;
        FPath.append(text);
        return S_OK;
    case OPCAE_BROWSE_TO:
        FPath = text.isEmpty() ? QStringList() : text.split(QLatin1Char('.'));
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT TTreeAreaBrowser::BrowseOPCAreas(OPCAEBROWSETYPE type, LPCWSTR, IEnumString** names) {
    *names = nullptr;
    if (++Listings == FailListing)
        return E_FAIL;
    const auto depth = static_cast<std::size_t>(FPath.size());
    QStringList items;
    if (type == OPC_AREA && depth < FFanout.size())
        items = Names(QStringLiteral("Area"), FFanout[depth]);
    else if (type == OPC_SOURCE && !FPath.isEmpty())
        items = Names(QStringLiteral("Source"), FSourcesPerArea);
    *names = zelk::com::MakeEnumString(items).Detach();
    return S_OK;
}

HRESULT TTreeAreaBrowser::GetQualifiedAreaName(LPCWSTR name, LPWSTR* qualified) {
    *qualified = zelk::com::TaskStrFromQString(Qualified(zelk::com::ToQString(name)));
    return S_OK;
}

HRESULT TTreeAreaBrowser::GetQualifiedSourceName(LPCWSTR name, LPWSTR* qualified) {
    *qualified = zelk::com::TaskStrFromQString(Qualified(zelk::com::ToQString(name)));
    return S_OK;
}

QStringList TTreeAreaBrowser::AllAreas() const {
    QStringList all;
    const std::function<void(const QString&, std::size_t)> walk = [&](const QString& prefix,
                                                                      std::size_t depth) {
        if (depth >= FFanout.size())
            return;
        for (const QString& name : Names(QStringLiteral("Area"), FFanout[depth])) {
            const QString qualified = prefix.isEmpty() ? name : prefix + QLatin1Char('.') + name;
            all.append(qualified);
            walk(qualified, depth + 1);
        }
    };
    walk(QString(), 0);
    return all;
}

int TTreeAreaBrowser::AreaCount() const {
    int count = 0;
    int level = 1;
    for (int fanout : FFanout) {
        level *= fanout;
        count += level;
    }
    return count;
}

// ---- TScriptedServer: everything but two calls passes through ----

HRESULT TScriptedServer::GetStatus(OPCEVENTSERVERSTATUS** s) {
    return FInner->GetStatus(s);
}
HRESULT TScriptedServer::CreateEventSubscription(BOOL a, DWORD b, DWORD c, OPCHANDLE d, REFIID e,
                                                 LPUNKNOWN* f, DWORD* g, DWORD* h) {
    return FInner->CreateEventSubscription(a, b, c, d, e, f, g, h);
}
HRESULT TScriptedServer::QueryAvailableFilters(DWORD* mask) {
    return FInner->QueryAvailableFilters(mask);
}
HRESULT TScriptedServer::QueryEventCategories(DWORD a, DWORD* b, DWORD** c, LPWSTR** d) {
    return FInner->QueryEventCategories(a, b, c, d);
}
HRESULT TScriptedServer::QueryConditionNames(DWORD a, DWORD* b, LPWSTR** c) {
    return FInner->QueryConditionNames(a, b, c);
}
HRESULT TScriptedServer::QuerySubConditionNames(LPWSTR a, DWORD* b, LPWSTR** c) {
    return FInner->QuerySubConditionNames(a, b, c);
}
HRESULT TScriptedServer::QuerySourceConditions(LPWSTR a, DWORD* b, LPWSTR** c) {
    return FInner->QuerySourceConditions(a, b, c);
}
HRESULT TScriptedServer::QueryEventAttributes(DWORD a, DWORD* b, DWORD** c, LPWSTR** d,
                                              VARTYPE** e) {
    return FInner->QueryEventAttributes(a, b, c, d, e);
}
HRESULT TScriptedServer::TranslateToItemIDs(LPWSTR a, DWORD b, LPWSTR c, LPWSTR d, DWORD e,
                                            DWORD* f, LPWSTR** g, LPWSTR** h, CLSID** i) {
    return FInner->TranslateToItemIDs(a, b, c, d, e, f, g, h, i);
}
HRESULT TScriptedServer::EnableConditionByArea(DWORD a, LPWSTR* b) {
    return FInner->EnableConditionByArea(a, b);
}
HRESULT TScriptedServer::EnableConditionBySource(DWORD a, LPWSTR* b) {
    return FInner->EnableConditionBySource(a, b);
}
HRESULT TScriptedServer::DisableConditionByArea(DWORD a, LPWSTR* b) {
    return FInner->DisableConditionByArea(a, b);
}
HRESULT TScriptedServer::DisableConditionBySource(DWORD a, LPWSTR* b) {
    return FInner->DisableConditionBySource(a, b);
}
HRESULT TScriptedServer::AckCondition(DWORD a, LPWSTR b, LPWSTR c, LPWSTR* d, LPWSTR* e,
                                      FILETIME* f, DWORD* g, HRESULT** h) {
    return FInner->AckCondition(a, b, c, d, e, f, g, h);
}

HRESULT TScriptedServer::GetConditionState(LPWSTR source, LPWSTR condition, DWORD count, DWORD* ids,
                                           OPCCONDITIONSTATE** state) {
    const HRESULT result = FInner->GetConditionState(source, condition, count, ids, state);
    OPCCONDITIONSTATE* record = SUCCEEDED(result) ? *state : nullptr;
    if (FirstAttributeError && record && record->dwNumEventAttrs > 0 && record->pErrors) {
        VariantClear(&record->pEventAttributes[0]);
        record->pErrors[0] = *FirstAttributeError;
    }
    return result;
}

HRESULT TScriptedServer::CreateAreaBrowser(REFIID riid, LPUNKNOWN* browser) {
    if (!Tree)
        return FInner->CreateAreaBrowser(riid, browser);
    return Tree->QueryInterface(riid, reinterpret_cast<void**>(browser));
}

// ---- TSimEventServer ----

ComPtr<IOPCEventServer> TSimEventServer::GetOPCEventServer() {
    ComPtr<IOPCEventServer> inner = TZelkEventServer::GetOPCEventServer();
    if (!inner || (!FirstAttributeError && !Tree))
        return inner;
    auto scripted = TScriptedServer::Create(std::move(inner));
    scripted->FirstAttributeError = FirstAttributeError;
    scripted->Tree = Tree;
    return ComPtr<IOPCEventServer>(scripted.Get());
}

// ---- DialogTest ----

DialogTest::TTransport::TTransport() {
    RegisterZelkCOMLink();
}

DialogTest::DialogTest() : FSavedLocale(QLocale()) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
}

DialogTest::~DialogTest() {
    QLocale::setDefault(FSavedLocale);
}

// ---- controls ----

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

QStringList Texts(const QTreeWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts.append(list->topLevelItem(i)->text(0));
    return texts;
}

void SelectTexts(QListWidget* list, const QStringList& texts) {
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(texts.contains(list->item(i)->text()));
}

void SelectTexts(QTreeWidget* list, const QStringList& texts) {
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setSelected(texts.contains(list->topLevelItem(i)->text(0)));
}

} // namespace zelk::dlgtest
