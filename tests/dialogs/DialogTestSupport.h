#pragma once

// Shared pieces of the dialog suites: an event server connected to the simulated AE
// server (optionally behind a wrapper that scripts one of its answers), and helpers that find a
// dialog's controls by name and act on a dialog shown modally.

#include "TestSupport.h"
#include "ZelkAE.h"
#include "ZelkAESim.h"
#include "ZelkTransport.h"

#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace zelk::dlgtest {

// Passes every call to the real server, except that GetConditionState can report a
// failure code for the first attribute value.
class TScriptedServer : public zelk::com::ComObject<TScriptedServer, IOPCEventServer> {
public:
    explicit TScriptedServer(ComPtr<IOPCEventServer> inner) : FInner(std::move(inner)) {}

    std::optional<HRESULT> FirstAttributeError;

    HRESULT STDMETHODCALLTYPE GetStatus(OPCEVENTSERVERSTATUS** s) override;
    HRESULT STDMETHODCALLTYPE CreateEventSubscription(BOOL a, DWORD b, DWORD c, OPCHANDLE d,
                                                      REFIID e, LPUNKNOWN* f, DWORD* g,
                                                      DWORD* h) override;
    HRESULT STDMETHODCALLTYPE QueryAvailableFilters(DWORD* mask) override;
    HRESULT STDMETHODCALLTYPE QueryEventCategories(DWORD a, DWORD* b, DWORD** c,
                                                   LPWSTR** d) override;
    HRESULT STDMETHODCALLTYPE QueryConditionNames(DWORD a, DWORD* b, LPWSTR** c) override;
    HRESULT STDMETHODCALLTYPE QuerySubConditionNames(LPWSTR a, DWORD* b, LPWSTR** c) override;
    HRESULT STDMETHODCALLTYPE QuerySourceConditions(LPWSTR a, DWORD* b, LPWSTR** c) override;
    HRESULT STDMETHODCALLTYPE QueryEventAttributes(DWORD a, DWORD* b, DWORD** c, LPWSTR** d,
                                                   VARTYPE** e) override;
    HRESULT STDMETHODCALLTYPE TranslateToItemIDs(LPWSTR a, DWORD b, LPWSTR c, LPWSTR d, DWORD e,
                                                 DWORD* f, LPWSTR** g, LPWSTR** h,
                                                 CLSID** i) override;
    HRESULT STDMETHODCALLTYPE GetConditionState(LPWSTR source, LPWSTR condition, DWORD count,
                                                DWORD* ids, OPCCONDITIONSTATE** state) override;
    HRESULT STDMETHODCALLTYPE EnableConditionByArea(DWORD a, LPWSTR* b) override;
    HRESULT STDMETHODCALLTYPE EnableConditionBySource(DWORD a, LPWSTR* b) override;
    HRESULT STDMETHODCALLTYPE DisableConditionByArea(DWORD a, LPWSTR* b) override;
    HRESULT STDMETHODCALLTYPE DisableConditionBySource(DWORD a, LPWSTR* b) override;
    HRESULT STDMETHODCALLTYPE AckCondition(DWORD a, LPWSTR b, LPWSTR c, LPWSTR* d, LPWSTR* e,
                                           FILETIME* f, DWORD* g, HRESULT** h) override;
    HRESULT STDMETHODCALLTYPE CreateAreaBrowser(REFIID riid, LPUNKNOWN* browser) override;

private:
    ComPtr<IOPCEventServer> FInner;
};

// An event server for the simulator; with FirstAttributeError set, its server answers
// through a TScriptedServer.
class TSimEventServer : public TZelkEventServer {
public:
    ComPtr<IOPCEventServer> GetOPCEventServer() override;

    std::optional<HRESULT> FirstAttributeError;
};

// The simulator on a manual clock and an event server connected to it. Texts collate
// as in English whatever the machine's locale is.
class DialogTest : public ::testing::Test {
protected:
    DialogTest();
    ~DialogTest() override;

    zelk::testing::TScopedConnectionRegistry Registry;
    // Registers the COM transport before the event server below is made.
    struct TTransport {
        TTransport();
    } Transport;
    zelk::aesim::TScopedAESimulator Sim;
    TSimEventServer Server;

private:
    QLocale FSavedLocale;
};

// The named child of a dialog; fails the test when there is none.
template <class T> T* Child(const QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no control " << name;
    return child;
}

QStringList Texts(const QListWidget* list);
QStringList Texts(const QTreeWidget* list);
// Selects exactly the entries with these texts.
void SelectTexts(QListWidget* list, const QStringList& texts);
void SelectTexts(QTreeWidget* list, const QStringList& texts);

// Once a top-level dialog of class T is visible, runs `act` on it (from the event loop
// of its modal showing). The returned timer stops when the test's scope ends.
template <class T> std::unique_ptr<QTimer> WhenShown(std::function<void(T*)> act) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QTimer* raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, raw, [raw, act = std::move(act)] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
                raw->stop();
                act(dialog);
                return;
            }
        }
    });
    timer->start();
    return timer;
}

} // namespace zelk::dlgtest
