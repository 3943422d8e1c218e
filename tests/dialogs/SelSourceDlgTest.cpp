// The source dialog: walking the area tree from where the browser stands, adding only
// the sources listed at the position, no duplicates, and the keys of both lists.

#include "DialogTestSupport.h"
#include "ZelkSelSourceDlg.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace zelk::dlgtest;

namespace {

constexpr const char* Moves = "IOPCEventAreaBrowser::ChangeBrowsePosition";

class SelSourceDlg : public DialogTest {
protected:
    SelSourceDlg() {
        List = Child<QTreeWidget>(&Dialog, "ListView");
        Dst = Child<QListWidget>(&Dialog, "DstList");
        Path = Child<QLineEdit>(&Dialog, "ePath");
        Dialog.SetBrowser(Server.Browser());
    }

    void Press(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    // The rows that show the folder picture.
    QStringList Folders() const {
        QStringList folders;
        for (int i = 0; i < List->topLevelItemCount(); ++i)
            if (List->topLevelItem(i)->data(0, Qt::UserRole).toInt() ==
                TZelkSelectSourceDlg::riArea)
                folders.append(List->topLevelItem(i)->text(0));
        return folders;
    }

    bool Enabled(const char* button) const {
        return Child<QToolButton>(&Dialog, button)->isEnabled();
    }

    TZelkSelectSourceDlg Dialog;
    QTreeWidget* List;
    QListWidget* Dst;
    QLineEdit* Path;
};

} // namespace

TEST_F(SelSourceDlg, WalksTheTreeWithKeysAndClicks) {
    ASSERT_TRUE(Server.Browser()->MovetoRoot());
    Dialog.FormShow();
    EXPECT_EQ(Path->text(), QStringLiteral("Root"));
    EXPECT_EQ(Texts(List), QStringList{"Plant1"});
    EXPECT_EQ(Folders(), QStringList{"Plant1"});
    EXPECT_FALSE(Enabled("IncludeBtn")) << "areas alone cannot be added";
    EXPECT_FALSE(Enabled("ExAllBtn"));

    // Backspace at the root does nothing: the server is not even asked.
    const int moves = Sim->Faults().CallCount(Moves);
    Press(List, Qt::Key_Backspace);
    EXPECT_EQ(Sim->Faults().CallCount(Moves), moves);
    EXPECT_EQ(Path->text(), QStringLiteral("Root"));

    // Space opens the selected area; its areas come first, then its sources.
    Press(List, Qt::Key_Space);
    EXPECT_EQ(Path->text(), QStringLiteral("Plant1"));
    EXPECT_EQ(Texts(List), (QStringList{"TankFarm", "Reactor Area", "Utilities", "PLC1"}));
    EXPECT_EQ(Folders(), (QStringList{"TankFarm", "Reactor Area", "Utilities"}));
    EXPECT_TRUE(Enabled("IncludeBtn"));
    EXPECT_TRUE(List->topLevelItem(0)->isSelected()) << "the first row is selected";

    // A source row does not open.
    SelectTexts(List, {QStringLiteral("PLC1")});
    EXPECT_FALSE(Dialog.OpenArea());
    SelectTexts(List, {QStringLiteral("TankFarm")});
    Dialog.ListViewDblClick();
    EXPECT_EQ(Path->text(), QStringLiteral("Plant1.TankFarm"));

    Press(List, Qt::Key_Backspace);
    EXPECT_EQ(Path->text(), QStringLiteral("Plant1"));
    Dialog.bBackClick();
    EXPECT_EQ(Path->text(), QStringLiteral("Root"));
}

TEST_F(SelSourceDlg, AddsSourcesOfThisPositionOnceIgnoringCase) {
    ASSERT_TRUE(Server.Browser()->Moveto(QStringLiteral("Plant1.TankFarm")));
    Dialog.SetSelected({QStringLiteral("plant1.tankfarm.lic201")});
    Dialog.FormShow();
    EXPECT_EQ(Path->text(), QStringLiteral("Plant1.TankFarm")) << "starts where the browser is";
    EXPECT_EQ(Texts(List), (QStringList{"Tank 1", "Tank 2", "LIC201", "LIC202", "FIC203"}));

    // ">>" takes every source listed here, none from below, no area, no duplicate.
    Dialog.IncludeSources(true);
    EXPECT_EQ(Texts(Dst), (QStringList{"plant1.tankfarm.lic201", "Plant1.TankFarm.LIC202",
                                       "Plant1.TankFarm.FIC203"}));

    // Right arrow adds the selected ones, in row order; Delete and Left arrow remove.
    Dialog.ExcludeSources(true);
    EXPECT_TRUE(Texts(Dst).isEmpty());
    EXPECT_FALSE(Enabled("ExcludeBtn"));
    SelectTexts(List,
                {QStringLiteral("FIC203"), QStringLiteral("Tank 1"), QStringLiteral("LIC201")});
    Press(List, Qt::Key_Right);
    EXPECT_EQ(Texts(Dst), (QStringList{"Plant1.TankFarm.LIC201", "Plant1.TankFarm.FIC203"}));
    SelectTexts(Dst, {QStringLiteral("Plant1.TankFarm.LIC201")});
    Press(Dst, Qt::Key_Delete);
    EXPECT_EQ(Texts(Dst), QStringList{"Plant1.TankFarm.FIC203"});
    SelectTexts(Dst, {QStringLiteral("Plant1.TankFarm.FIC203")});
    Press(Dst, Qt::Key_Left);
    EXPECT_TRUE(Texts(Dst).isEmpty());
}

TEST_F(SelSourceDlg, AFailingListingLeavesNoRowsOfAnotherPlace) {
    ASSERT_TRUE(Server.Browser()->Moveto(QStringLiteral("Plant1")));
    Dialog.FormShow();
    SelectTexts(List, {QStringLiteral("TankFarm")});
    Sim->Faults().InjectResult("IOPCEventAreaBrowser::BrowseOPCAreas", E_FAIL, 1);
    EXPECT_THROW(Dialog.OpenArea(), EOleSysError);
    EXPECT_EQ(List->topLevelItemCount(), 0) << "no names of Plant1 offered as TankFarm's";
    EXPECT_EQ(Path->text(), QStringLiteral("Plant1.TankFarm"));
    EXPECT_FALSE(Enabled("IncludeBtn"));
}

TEST_F(SelSourceDlg, WithoutAnActiveServerNothingIsOffered) {
    Server.Disconnect();
    Dialog.SetSelected({QStringLiteral("A")});
    Dialog.FormShow();
    EXPECT_FALSE(Child<QLabel>(&Dialog, "pInfo")->isHidden());
    EXPECT_EQ(List->topLevelItemCount(), 0);
    EXPECT_FALSE(Enabled("IncAllBtn"));
    EXPECT_TRUE(Enabled("ExAllBtn"));
    Dialog.IncludeSources(true);
    EXPECT_EQ(Texts(Dst), QStringList{"A"});
}

TEST_F(SelSourceDlg, ShownModallyTheListChangesOnOkOnly) {
    TZelkEventServer& server = Server;
    ASSERT_TRUE(server.Browser()->Moveto(QStringLiteral("Plant1.Utilities.Steam")));
    QStringList chosen{QStringLiteral("Plant1.PLC1")};
    const auto act = WhenShown<TZelkSelectSourceDlg>([](TZelkSelectSourceDlg* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Select Sources"));
        dialog->IncludeSources(true);
        Child<QPushButton>(dialog, "bOk")->click();
    });
    EXPECT_TRUE(SelectSources(server.Browser(), chosen));
    EXPECT_EQ(chosen.size(), 3);
    EXPECT_EQ(chosen.front(), QStringLiteral("Plant1.PLC1"));
    EXPECT_TRUE(chosen.at(1).startsWith(QStringLiteral("Plant1.Utilities.Steam.")));
}
