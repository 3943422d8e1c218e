// The area dialog and its walk over the server's tree: every area but the root and the
// chosen ones offered, the browser left where it started, a failing listing passed on
// instead of a half list, and a walk that survives its window or its server going away.

#include "DialogTestSupport.h"
#include "ZelkSelAreaDlg.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QToolButton>

using namespace zelk::dlgtest;

namespace {

constexpr const char* BrowseAreas = "IOPCEventAreaBrowser::BrowseOPCAreas";

class SelAreaDlg : public DialogTest {
protected:
    TZelkEventAreaBrowser* Browser() { return Server.Browser(); }

    QStringList PlantAreas() const { return Sim->Plant().Areas; }

    // A tree of 20 + 300 + 3,000 areas behind the event server's browser.
    ComPtr<TTreeAreaBrowser> UseLargeTree() {
        Server.Tree = TTreeAreaBrowser::Create(std::vector<int>{20, 15, 10}, 2);
        Browser()->SetOPCServer(&Server); // a fresh browser object from the scripted server
        return Server.Tree;
    }
};

QStringList SortedCaseless(QStringList list) {
    std::sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return list;
}

} // namespace

TEST_F(SelAreaDlg, OffersEveryAreaButTheRootAndTheChosenOnes) {
    ASSERT_TRUE(Browser()->Moveto(QStringLiteral("Plant1.Utilities")));
    TZelkSelectAreaDlg dialog;
    auto* src = Child<QListWidget>(&dialog, "SrcList");
    auto* dst = Child<QListWidget>(&dialog, "DstList");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select Filter Areas"));
    dialog.SetBrowser(Browser());
    dialog.SetSelected({QStringLiteral("plant1.tankfarm"), QStringLiteral("Elsewhere")});
    dialog.FormShow();

    QStringList expected = PlantAreas();
    expected.removeAll(QStringLiteral("Plant1.TankFarm"));
    EXPECT_EQ(Texts(src), SortedCaseless(expected));
    EXPECT_FALSE(Texts(src).contains(QString())) << "the root is never offered";
    EXPECT_EQ(Texts(dst), (QStringList{"plant1.tankfarm", "Elsewhere"}));
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty()) << "the walk starts and ends at the root";
    EXPECT_TRUE(Child<QLabel>(&dialog, "pInfo")->isHidden());

    // Double-clicks move entries as ">" and "<" do.
    SelectTexts(src, {QStringLiteral("Plant1.Utilities.Steam")});
    Q_EMIT src->itemDoubleClicked(src->selectedItems().front());
    EXPECT_EQ(Texts(dst).last(), QStringLiteral("Plant1.Utilities.Steam"));
    SelectTexts(dst, {QStringLiteral("Elsewhere")});
    Q_EMIT dst->itemDoubleClicked(dst->selectedItems().front());
    EXPECT_TRUE(Texts(src).contains(QStringLiteral("Elsewhere")));
}

TEST_F(SelAreaDlg, ANameThatCannotBeQualifiedIsLeftOut) {
    Sim->Faults().InjectResult("IOPCEventAreaBrowser::GetQualifiedAreaName", E_FAIL, 1);
    QStringList ids;
    EXPECT_TRUE(CollectAreaIds(Browser(), ids));
    EXPECT_EQ(ids.size(), PlantAreas().size() - 1);
    EXPECT_FALSE(ids.contains(QStringLiteral("Plant1"))) << "the first lookup failed";
}

TEST_F(SelAreaDlg, WithoutAnActiveServerOnlyTheRightListIsEdited) {
    Server.Disconnect();
    TZelkSelectAreaDlg dialog;
    auto* dst = Child<QListWidget>(&dialog, "DstList");
    dialog.SetBrowser(Browser());
    dialog.SetSelected({QStringLiteral("A"), QStringLiteral("B")});
    dialog.FormShow();
    EXPECT_FALSE(Child<QLabel>(&dialog, "pInfo")->isHidden());
    EXPECT_EQ(Child<QLabel>(&dialog, "pInfo")->text(), QStringLiteral("server not active"));
    EXPECT_EQ(Child<QListWidget>(&dialog, "SrcList")->count(), 0);
    EXPECT_FALSE(Child<QToolButton>(&dialog, "IncludeBtn")->isEnabled());

    // ">" with nothing selected does nothing; "<" with nothing selected picks the first.
    dst->clearSelection();
    dialog.IncludeBtnClick();
    dialog.ExcludeBtnClick();
    EXPECT_EQ(Texts(dst), (QStringList{"A", "B"}));
    EXPECT_TRUE(dst->item(0)->isSelected());
    dialog.ExcludeBtnClick();
    EXPECT_EQ(Texts(dst), QStringList{"B"});
    EXPECT_EQ(Texts(Child<QListWidget>(&dialog, "SrcList")), QStringList{"A"});
}

TEST_F(SelAreaDlg, AListingThatFailsHalfWayIsPassedOnNotHalfShown) {
    // The third listing of the walk fails; the browser is moved back to the root.
    ASSERT_TRUE(Browser()->Moveto(QStringLiteral("Plant1.TankFarm")));
    int step = 0;
    QStringList ids;
    EXPECT_THROW(CollectAreaIds(Browser(), ids,
                                [&](int) {
                                    if (++step == 1)
                                        Sim->Faults().InjectResult(BrowseAreas, E_FAIL, 1);
                                    return true;
                                }),
                 EOleSysError);
    EXPECT_EQ(Browser()->CurrentPosition(), QStringLiteral("Plant1.TankFarm"));

    // The dialog shows nothing rather than a part of the tree, and says why.
    TZelkSelectAreaDlg dialog;
    dialog.SetBrowser(Browser());
    const auto tree = UseLargeTree();
    tree->FailListing = 40;
    EXPECT_THROW(dialog.FormShow(), EOleSysError);
    EXPECT_EQ(Child<QListWidget>(&dialog, "SrcList")->count(), 0);
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());

    // Shown modally, the window closes and the unit function raises; the list stays.
    tree->Listings = 0;
    QStringList chosen{QStringLiteral("Area 1")};
    EXPECT_THROW(SelectAreas(Browser(), chosen), EOleSysError);
    EXPECT_EQ(chosen, QStringList{"Area 1"});
}

TEST_F(SelAreaDlg, ALargeTreeIsReadWholeWithProgressAndModally) {
    const auto tree = UseLargeTree();
    ASSERT_EQ(tree->AreaCount(), 3320);
    QStringList ids;
    int steps = 0;
    EXPECT_TRUE(CollectAreaIds(Browser(), ids, [&](int) { return ++steps > 0; }));
    // Each level's names first, then the walk goes down into each of its areas in turn.
    EXPECT_EQ(ids.mid(0, 21),
              (QStringList{"Area 1",  "Area 2",  "Area 3",       "Area 4",  "Area 5",  "Area 6",
                           "Area 7",  "Area 8",  "Area 9",       "Area 10", "Area 11", "Area 12",
                           "Area 13", "Area 14", "Area 15",      "Area 16", "Area 17", "Area 18",
                           "Area 19", "Area 20", "Area 1.Area 1"}));
    EXPECT_EQ(ids.at(35), QStringLiteral("Area 1.Area 1.Area 1"));
    EXPECT_TRUE(SortedCaseless(ids) == SortedCaseless(tree->AllAreas())) << "each area once";
    EXPECT_EQ(steps, 3320) << "one step after each area";
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());

    // Through the unit function: the walk shows its progress window, the chosen areas
    // come back on OK.
    bool sawProgress = false;
    int offered = 0;
    const auto act = WhenShown<TZelkSelectAreaDlg>([&](TZelkSelectAreaDlg* dialog) {
        dialog->SetProgressDelay(0);
        auto* poll = new QTimer(dialog);
        QObject::connect(poll, &QTimer::timeout, dialog, [&, dialog, poll] {
            for (auto* progress : dialog->findChildren<QProgressDialog*>())
                sawProgress = sawProgress || progress->isVisible();
            auto* src = Child<QListWidget>(dialog, "SrcList");
            if (src->count() == 0)
                return;
            poll->stop();
            offered = src->count();
            SelectTexts(src, {QStringLiteral("Area 20.Area 15.Area 10")});
            dialog->IncludeBtnClick();
            Child<QPushButton>(dialog, "bOk")->click();
        });
        poll->start(1);
    });
    QStringList chosen{QStringLiteral("Area 1")};
    EXPECT_TRUE(SelectAreas(Browser(), chosen));
    EXPECT_TRUE(sawProgress);
    EXPECT_EQ(offered, 3319);
    EXPECT_EQ(chosen, (QStringList{"Area 1", "Area 20.Area 15.Area 10"}));
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());
}

TEST_F(SelAreaDlg, ClosingTheWindowOrCancellingTheProgressStopsTheWalk) {
    const auto tree = UseLargeTree();
    for (bool viaProgress : {false, true}) {
        tree->Listings = 0;
        const auto act = WhenShown<TZelkSelectAreaDlg>([&](TZelkSelectAreaDlg* dialog) {
            dialog->SetProgressDelay(0);
            auto* poll = new QTimer(dialog);
            QObject::connect(poll, &QTimer::timeout, dialog, [&, dialog, poll] {
                if (tree->Listings < 100)
                    return;
                poll->stop();
                if (!viaProgress) {
                    Child<QPushButton>(dialog, "bCancel")->click();
                    return;
                }
                for (auto* progress : dialog->findChildren<QProgressDialog*>())
                    progress->cancel();
            });
            poll->start(0);
        });
        QStringList chosen{QStringLiteral("Area 1")};
        EXPECT_FALSE(SelectAreas(Browser(), chosen)) << "via progress " << viaProgress;
        EXPECT_EQ(chosen, QStringList{"Area 1"});
        EXPECT_LT(tree->Listings, 3320) << "the walk stopped early";
        EXPECT_TRUE(Browser()->CurrentPath().isEmpty()) << "and climbed back to the root";
    }
}

TEST_F(SelAreaDlg, TheServerGoingAwayStopsTheWalkWithoutTouchingIt) {
    const auto tree = UseLargeTree();
    TZelkSelectAreaDlg dialog;
    dialog.SetBrowser(Browser());
    dialog.SetSelected({QStringLiteral("Area 3")});
    QTimer disconnect;
    QObject::connect(&disconnect, &QTimer::timeout, [&] {
        if (tree->Listings >= 100) {
            disconnect.stop();
            Server.Disconnect();
        }
    });
    disconnect.start(0);
    dialog.FormShow();
    EXPECT_FALSE(Server.Active());
    EXPECT_EQ(Child<QListWidget>(&dialog, "SrcList")->count(), 0) << "nothing half read";
    EXPECT_FALSE(Child<QLabel>(&dialog, "pInfo")->isHidden());
    EXPECT_EQ(dialog.Selected(), QStringList{"Area 3"});

    // A server destroyed during the walk takes its browser with it.
    auto owned = std::make_unique<TSimEventServer>();
    owned->Tree = TTreeAreaBrowser::Create(std::vector<int>{20, 15, 10}, 2);
    owned->Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    const ComPtr<TTreeAreaBrowser> ownedTree = owned->Tree;
    TZelkSelectAreaDlg second;
    second.SetBrowser(owned->Browser());
    QTimer destroy;
    QObject::connect(&destroy, &QTimer::timeout, [&] {
        if (ownedTree->Listings >= 100) {
            destroy.stop();
            owned.reset();
        }
    });
    destroy.start(0);
    second.FormShow();
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(second.Browser(), nullptr);
    EXPECT_EQ(Child<QListWidget>(&second, "SrcList")->count(), 0);
    EXPECT_FALSE(Child<QLabel>(&second, "pInfo")->isHidden());
}

TEST_F(SelAreaDlg, TheWindowsParentDestroyedDuringTheWalk) {
    const auto tree = UseLargeTree();
    auto* parent = new QWidget;
    QTimer destroy;
    QObject::connect(&destroy, &QTimer::timeout, [&] {
        if (tree->Listings >= 100) {
            destroy.stop();
            delete parent;
        }
    });
    destroy.start(0);
    QStringList chosen{QStringLiteral("Area 1")};
    EXPECT_FALSE(SelectAreas(Browser(), chosen, parent));
    EXPECT_EQ(chosen, QStringList{"Area 1"});
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());
}
