#include "DialogTestSupport.h"

#include "ZelkCOMLink.h"
#include "bstr.h"

namespace zelk::dlgtest {

// ---- TScriptedServer: everything but one call passes through ----

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
    return FInner->CreateAreaBrowser(riid, browser);
}

// ---- TSimEventServer ----

ComPtr<IOPCEventServer> TSimEventServer::GetOPCEventServer() {
    ComPtr<IOPCEventServer> inner = TZelkEventServer::GetOPCEventServer();
    if (!inner || !FirstAttributeError)
        return inner;
    auto scripted = TScriptedServer::Create(std::move(inner));
    scripted->FirstAttributeError = FirstAttributeError;
    return ComPtr<IOPCEventServer>(scripted.Get());
}

// ---- DialogTest ----

DialogTest::TTransport::TTransport() {
    RegisterZelkCOMLink();
}

DialogTest::DialogTest() : FSavedLocale(QLocale()) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    // The refresh the connect asked for is delivered, so the next one is not refused as
    // busy.
    Sim->Pump();
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
