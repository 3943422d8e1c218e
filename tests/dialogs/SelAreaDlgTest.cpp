// The area dialog and its walk over the server's tree: every area but the root and the
// chosen ones offered, the browser left where it started, a failing listing passed on
// instead of a half list, and a walk that survives its window or its server going away.

#include "DialogTestSupport.h"
#include "ZelkSelAreaDlg.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

using namespace zelk::dlgtest;

namespace {

constexpr const char* BrowseAreas = "IOPCEventAreaBrowser::BrowseOPCAreas";

class SelAreaDlg : public DialogTest {
protected:
    TZelkEventAreaBrowser* Browser() { return Server.Browser(); }
    QStringList PlantAreas() const { return Sim->Plant().Areas; }
};

// A second simulator class with a plant of 3,000 areas, and an event server on it.
class SelAreaDlgLargePlant : public DialogTest {
protected:
    static zelk::aesim::TSimClassOptions Options() {
        zelk::aesim::TSimClassOptions options;
        options.Clsid = ZelkGuid("B7C2F1E4-6A0D-4C39-8E15-2D9F4A7B3C60");
        options.ProgID = QStringLiteral("Zelk.AESimulator.Large.1");
        options.VersionIndependentProgID = QStringLiteral("Zelk.AESimulator.Large");
        options.PlantSize = {.Areas = 3'000, .Sources = 3'000};
        return options;
    }

    SelAreaDlgLargePlant() : Large(Options(), QString(), false) {
        LargeServer.Connect(QStringLiteral("Zelk.AESimulator.Large.1"), QString());
    }

    TZelkEventAreaBrowser* Browser() { return LargeServer.Browser(); }
    int Listings() const { return Large->Faults().CallCount(BrowseAreas); }

    // Runs Act once the server has answered Count listings (during a walk, whose
    // message processing runs the timer); an Act that answers false runs again later.
    std::unique_ptr<QTimer> AfterListings(int Count, std::function<bool()> Act) {
        auto timer = std::make_unique<QTimer>();
        QTimer* raw = timer.get();
        QObject::connect(raw, &QTimer::timeout, [this, raw, Count, Act = std::move(Act)] {
            if (Listings() >= Count && Act())
                raw->stop();
        });
        timer->start(0);
        return timer;
    }
    std::unique_ptr<QTimer> AfterListings(int Count, std::function<void()> Act) {
        return AfterListings(Count, std::function<bool()>([Act = std::move(Act)] {
                                 Act();
                                 return true;
                             }));
    }

    zelk::aesim::TScopedAESimulator Large;
    TSimEventServer LargeServer;
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
    // The listing after the first area fails; the browser is moved back where it was.
    ASSERT_TRUE(Browser()->Moveto(QStringLiteral("Plant1.TankFarm")));
    int step = 0;
    QStringList ids;
    const auto failSoon = [&](int) {
        if (++step == 1)
            Sim->Faults().InjectResult(BrowseAreas, E_FAIL, 1);
        return true;
    };
    EXPECT_THROW(CollectAreaIds(Browser(), ids, failSoon), EOleSysError);
    EXPECT_EQ(Browser()->CurrentPosition(), QStringLiteral("Plant1.TankFarm"));
}

TEST_F(SelAreaDlgLargePlant, AListingThatFailsHalfWayLeavesNoHalfList) {
    // Fails the listing once the walk is well under way.
    const auto failAt = [this](int listing) {
        return AfterListings(listing,
                             [this] { Large->Faults().InjectResult(BrowseAreas, E_FAIL, 1); });
    };
    TZelkSelectAreaDlg dialog;
    dialog.SetBrowser(Browser());
    auto failing = failAt(200);
    EXPECT_THROW(dialog.FormShow(), EOleSysError);
    EXPECT_EQ(Child<QListWidget>(&dialog, "SrcList")->count(), 0);
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());

    // Shown modally, the window closes and the unit function raises; the list stays.
    Large->Faults().ClearCalls();
    failing = failAt(200);
    QStringList chosen{QStringLiteral("Plant1")};
    EXPECT_THROW(SelectAreas(Browser(), chosen), EOleSysError);
    EXPECT_EQ(chosen, QStringList{"Plant1"});
}

TEST_F(SelAreaDlgLargePlant, TheWholeTreeIsReadWithProgressAndModally) {
    const QStringList areas = Large->Plant().Areas;
    ASSERT_EQ(areas.size(), 3000);
    QStringList ids;
    int steps = 0;
    EXPECT_TRUE(CollectAreaIds(Browser(), ids, [&](int) { return ++steps > 0; }));
    EXPECT_EQ(steps, 3000) << "one step after each area";
    EXPECT_TRUE(SortedCaseless(ids) == SortedCaseless(areas)) << "each area once";
    // Each level's names come first, then the walk goes down into each of them in turn.
    const qsizetype roots = areas.filter(QRegularExpression(QStringLiteral("^[^.]+$"))).size();
    ASSERT_GT(roots, 1);
    for (qsizetype i = 0; i < roots; ++i)
        EXPECT_FALSE(ids.at(i).contains(QLatin1Char('.'))) << ids.at(i).toStdString();
    EXPECT_TRUE(ids.at(roots).startsWith(ids.at(0) + QLatin1Char('.')));
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());

    // Through the unit function: the walk shows its progress window, the chosen areas
    // come back on OK.
    bool sawProgress = false;
    int offered = 0;
    const QString deepest = *std::max_element(areas.begin(), areas.end(), [](auto& a, auto& b) {
        return a.count(QLatin1Char('.')) < b.count(QLatin1Char('.'));
    });
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
            SelectTexts(src, {deepest});
            dialog->IncludeBtnClick();
            Child<QPushButton>(dialog, "bOk")->click();
        });
        poll->start(1);
    });
    QStringList chosen{QStringLiteral("Plant1")};
    EXPECT_TRUE(SelectAreas(Browser(), chosen));
    EXPECT_TRUE(sawProgress);
    EXPECT_EQ(offered, 2999) << "the chosen area is not offered";
    EXPECT_EQ(chosen, (QStringList{"Plant1", deepest}));
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());
}

TEST_F(SelAreaDlgLargePlant, ClosingTheWindowOrCancellingTheProgressStopsTheWalk) {
    for (bool viaProgress : {false, true}) {
        Large->Faults().ClearCalls();
        const auto quickProgress = WhenShown<TZelkSelectAreaDlg>(
            [](TZelkSelectAreaDlg* dialog) { dialog->SetProgressDelay(0); });
        const auto stop =
            AfterListings(100, std::function<bool()>([viaProgress] {
                              for (QWidget* window : QApplication::topLevelWidgets()) {
                                  auto* dialog = qobject_cast<TZelkSelectAreaDlg*>(window);
                                  if (!dialog || !dialog->isVisible())
                                      continue;
                                  if (!viaProgress) {
                                      Child<QPushButton>(dialog, "bCancel")->click();
                                      return true;
                                  }
                                  // The progress window may not be up yet.
                                  for (auto* progress : dialog->findChildren<QProgressDialog*>()) {
                                      progress->cancel();
                                      return true;
                                  }
                              }
                              return false;
                          }));
        QStringList chosen{QStringLiteral("Plant1")};
        EXPECT_FALSE(SelectAreas(Browser(), chosen)) << "via progress " << viaProgress;
        EXPECT_EQ(chosen, QStringList{"Plant1"});
        EXPECT_LT(Listings(), 3000) << "the walk stopped early";
        EXPECT_TRUE(Browser()->CurrentPath().isEmpty()) << "and climbed back to the root";
    }
}

TEST_F(SelAreaDlgLargePlant, TheServerGoingAwayStopsTheWalkWithoutTouchingIt) {
    TZelkSelectAreaDlg dialog;
    dialog.SetBrowser(Browser());
    dialog.SetSelected({QStringLiteral("Plant3")});
    const auto disconnect = AfterListings(100, [this] { LargeServer.Disconnect(); });
    dialog.FormShow();
    EXPECT_FALSE(LargeServer.Active());
    EXPECT_EQ(Child<QListWidget>(&dialog, "SrcList")->count(), 0) << "nothing half read";
    EXPECT_FALSE(Child<QLabel>(&dialog, "pInfo")->isHidden());
    EXPECT_EQ(dialog.Selected(), QStringList{"Plant3"});

    // A server destroyed during the walk takes its browser with it.
    auto owned = std::make_unique<TSimEventServer>();
    owned->Connect(QStringLiteral("Zelk.AESimulator.Large.1"), QString());
    Large->Faults().ClearCalls();
    TZelkSelectAreaDlg second;
    second.SetBrowser(owned->Browser());
    const auto destroy = AfterListings(100, [&] { owned.reset(); });
    second.FormShow();
    EXPECT_EQ(owned, nullptr);
    EXPECT_EQ(second.Browser(), nullptr);
    EXPECT_EQ(Child<QListWidget>(&second, "SrcList")->count(), 0);
    EXPECT_FALSE(Child<QLabel>(&second, "pInfo")->isHidden());
}

TEST_F(SelAreaDlgLargePlant, TheWindowsParentDestroyedDuringTheWalk) {
    auto* parent = new QWidget;
    const auto destroy = AfterListings(100, [parent] { delete parent; });
    QStringList chosen{QStringLiteral("Plant1")};
    EXPECT_FALSE(SelectAreas(Browser(), chosen, parent));
    EXPECT_EQ(chosen, QStringList{"Plant1"});
    EXPECT_TRUE(Browser()->CurrentPath().isEmpty());
}
