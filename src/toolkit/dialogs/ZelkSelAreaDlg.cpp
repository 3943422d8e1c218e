#include "ZelkSelAreaDlg.h"

#include "Exceptions.h"
#include "ZelkEventAreaBrowser.h"
#include "ZelkEventServer.h"
#include "ui_ZelkSelAreaDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

namespace {

// One walk over the tree. Between two areas anything may happen (the user interface
// runs), so every step first checks that the browser is still there, still attached to
// the same connected server, and still at the position the walk left it.
class TAreaWalk {
public:
    TAreaWalk(TZelkEventAreaBrowser* Browser, const TAreaWalkProgress& Progress)
        : FBrowser(Browser), FServer(Browser->OPCServer()), FProgress(Progress) {}

    // Collects below the browser's position; false when the walk was stopped.
    bool Collect(QStringList& List) {
        CollectHere(List);
        return !FStopped;
    }

private:
    bool At(const QStringList& Path) const {
        return FBrowser && FServer && FBrowser->OPCServer() == FServer && FServer->Active() &&
               FBrowser->CurrentPath() == Path;
    }

    void CollectHere(QStringList& List) {
        const QStringList here = FBrowser->CurrentPath();
        FBrowser->ShowAreas();
        const QStringList areas = FBrowser->Items();
        for (const QString& area : areas) {
            try {
                List.append(FBrowser->GetItemId(area));
            } catch (const Exception&) {
                // An area without a qualified name is left out; the walk goes on.
            }
        }
        for (const QString& area : areas) {
            if (FBrowser->MoveDown(area)) {
                const QStringList below = FBrowser->CurrentPath();
                try {
                    CollectHere(List);
                } catch (...) {
                    // The failure goes to the caller with the browser back where the
                    // walk started, as far as the server still lets it move.
                    try {
                        if (At(below))
                            FBrowser->Moveup();
                    } catch (...) {
                    }
                    throw;
                }
                if (!At(below)) {
                    FStopped = true;
                    return;
                }
                FBrowser->Moveup();
                if (FStopped)
                    return;
            }
            const bool goOn = FProgress ? FProgress(static_cast<int>(List.size()))
                                        : (QCoreApplication::processEvents(), true);
            if (!goOn || !At(here)) {
                FStopped = true;
                return;
            }
        }
    }

    QPointer<TZelkEventAreaBrowser> FBrowser;
    QPointer<TZelkEventServer> FServer;
    const TAreaWalkProgress& FProgress;
    bool FStopped = false;
};

// The busy cursor of a walk, restored however the walk ends.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

bool ServerActive(TZelkEventAreaBrowser* Browser) {
    return Browser && Browser->OPCServer() && Browser->OPCServer()->Active();
}

} // namespace

bool CollectAreaIds(TZelkEventAreaBrowser* Browser, QStringList& List,
                    const TAreaWalkProgress& Progress) {
    if (!Browser)
        return false;
    TAreaWalk walk(Browser, Progress);
    return walk.Collect(List);
}

// The progress window of a long walk: made once the walk has run for a moment.
struct TZelkSelectAreaDlg::TProgress {
    QElapsedTimer Elapsed;
    QPointer<QProgressDialog> Window;

    ~TProgress() { delete Window.data(); }
};

TZelkSelectAreaDlg::TZelkSelectAreaDlg(QWidget* parent)
    : TZelkPickListDlg(parent), ui(std::make_unique<Ui::TZelkSelectAreaDlg>()) {
    ui->setupUi(this);
    SetFixedBorder();
    SetDeferredFormShow(true);
    BindControls(
        {ui->SrcList, ui->DstList, ui->IncludeBtn, ui->IncAllBtn, ui->ExcludeBtn, ui->ExAllBtn});
    BindDoubleClickMoves();
    connect(ui->bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TZelkSelectAreaDlg::~TZelkSelectAreaDlg() = default;

void TZelkSelectAreaDlg::done(int Result) {
    if (FWalking)
        FStopWalk = true;
    TZelkPickListDlg::done(Result);
}

bool TZelkSelectAreaDlg::WalkStep(int Collected) {
    // Only the walk's own state is read after the messages ran: this window may be gone.
    QPointer<TZelkSelectAreaDlg> self(this);
    if (!FProgress->Window && FProgress->Elapsed.elapsed() >= FProgressDelay) {
        auto* window = new QProgressDialog(this);
        window->setWindowTitle(windowTitle());
        window->setCancelButtonText(QStringLiteral("Cancel"));
        window->setRange(0, 0);
        window->setMinimumDuration(0);
        window->setAutoClose(false);
        window->setAutoReset(false);
        FProgress->Window = window;
        window->show();
    }
    if (FProgress->Window)
        FProgress->Window->setLabelText(
            QStringLiteral("Reading the server's areas: %1 found").arg(Collected));
    QCoreApplication::processEvents();
    if (!self)
        return false;
    if (FProgress->Window && FProgress->Window->wasCanceled()) {
        // Cancelling the reading cancels the window: a partial list would look complete.
        reject();
        return false;
    }
    return !FStopWalk;
}

void TZelkSelectAreaDlg::FormShow() {
    // Shown again while its walk runs (the walk lets messages through): the running walk
    // fills the list.
    if (FWalking)
        return;
    ui->SrcList->clear();
    if (ServerActive(FBrowser)) {
        ui->pInfo->hide();
        QPointer<TZelkSelectAreaDlg> self(this);
        TZelkEventAreaBrowser* browser = FBrowser;
        browser->MovetoRoot();
        QStringList ids;
        bool complete = false;
        {
            const TBusyCursor busy;
            FProgress = std::make_unique<TProgress>();
            FProgress->Elapsed.start();
            FWalking = true;
            FStopWalk = false;
            try {
                complete = CollectAreaIds(browser, ids, [this](int n) { return WalkStep(n); });
            } catch (...) {
                if (self) {
                    FWalking = false;
                    FProgress.reset();
                }
                throw;
            }
            if (!self)
                return;
            FWalking = false;
            FProgress.reset();
        }
        if (!complete) {
            // Closed during the walk, or the server went away: nothing half read is shown.
            if (!ServerActive(FBrowser))
                ui->pInfo->show();
            SetButtons();
            return;
        }
        FillAvailable(ids);
    }
    SetButtons();
}

bool SelectAreas(TZelkEventAreaBrowser* Browser, QStringList& List, QWidget* Parent) {
    return zelk::dialogs::ShowPickList<TZelkSelectAreaDlg>(
        List, Parent, [&](TZelkSelectAreaDlg& dialog) { dialog.SetBrowser(Browser); });
}
