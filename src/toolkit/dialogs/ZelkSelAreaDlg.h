#pragma once

// TZelkSelectAreaDlg: picks the areas of a filter, as fully qualified area names, from
// every area of the server's tree. Reading the tree walks it area by area; the window
// stays responsive meanwhile and a walk that takes longer than a moment shows its
// progress with a Cancel button.

#include "ZelkEventAreaBrowser.h"
#include "ZelkPickList.h"

#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

namespace Ui {
class TZelkSelectAreaDlg;
}

// Called after each area of a walk with the number of names collected so far; false
// stops the walk.
using TAreaWalkProgress = std::function<bool(int Collected)>;

// Appends the qualified name of every area below the browser's position to List, depth
// first, and leaves the browser where it started. A name whose lookup fails is skipped; a
// listing that fails raises (the browser is moved back first). After each area the
// user interface processes pending messages (or Progress is called, which should), so
// the browser, its server and this walk's caller may change meanwhile: the walk then
// stops without touching what has gone. Returns whether the walk visited the whole tree;
// false when Progress stopped it or when the browser lost its server, its connection or
// its position.
bool CollectAreaIds(TZelkEventAreaBrowser* Browser, QStringList& List,
                    const TAreaWalkProgress& Progress = {});

class TZelkSelectAreaDlg : public TZelkPickListDlg {
    Q_OBJECT

public:
    explicit TZelkSelectAreaDlg(QWidget* parent = nullptr);
    ~TZelkSelectAreaDlg() override;

    TZelkEventAreaBrowser* Browser() const noexcept { return FBrowser; }
    void SetBrowser(TZelkEventAreaBrowser* Value) noexcept { FBrowser = Value; }
    // How long a walk runs before its progress window shows, in milliseconds.
    void SetProgressDelay(int Milliseconds) noexcept { FProgressDelay = Milliseconds; }

    // With an active server: every area of its tree that is not selected yet on the
    // left. Otherwise "server not active" stays on and the left list stays empty.
    void FormShow() override;
    void done(int Result) override;

private:
    bool WalkStep(int Collected);

    std::unique_ptr<Ui::TZelkSelectAreaDlg> ui;
    QPointer<TZelkEventAreaBrowser> FBrowser;
    int FProgressDelay = 500;
    // Set while a walk runs; the walk stops at its next step when the window closes.
    bool FWalking = false;
    bool FStopWalk = false;
    struct TProgress;
    std::unique_ptr<TProgress> FProgress;
};

// Shows the areas with List on the right; on OK List takes the right list and the
// result is true. Cancel leaves List alone. A failing listing of the tree raises.
bool SelectAreas(TZelkEventAreaBrowser* Browser, QStringList& List, QWidget* Parent = nullptr);
