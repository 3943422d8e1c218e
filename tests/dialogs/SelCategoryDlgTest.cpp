// The category dialog: the server's categories not chosen yet, nothing without a server.

#include "DialogTestSupport.h"
#include "ZelkSelCategoryDlg.h"

#include <QLabel>
#include <QPushButton>

using namespace zelk::dlgtest;

namespace {

class SelCategoryDlg : public DialogTest {};

} // namespace

TEST_F(SelCategoryDlg, OffersTheServersCategoriesNotChosenYet) {
    TZelkSelCatDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Filter Categories"));
    EXPECT_EQ(Child<QLabel>(&dialog, "SrcLabel")->text(), QStringLiteral("Available categories"));
    dialog.SetOPCServer(&Server);
    dialog.SetSelected({QStringLiteral("LEVEL"), QStringLiteral("Gone")});
    dialog.FormShow();
    EXPECT_EQ(Texts(Child<QListWidget>(&dialog, "SrcList")),
              (QStringList{"Deviation", "Device Failure", "Discrete", "Operator Process Change",
                           "System Message"}));
    EXPECT_TRUE(Child<QLabel>(&dialog, "pInfo")->isHidden());

    Server.Disconnect();
    dialog.FormShow();
    EXPECT_EQ(Child<QListWidget>(&dialog, "SrcList")->count(), 0);
    EXPECT_EQ(dialog.Selected(), (QStringList{"LEVEL", "Gone"}));
}

TEST_F(SelCategoryDlg, ShownModallyTheListChangesOnOkOnly) {
    QStringList chosen{QStringLiteral("Level")};
    auto act = WhenShown<TZelkSelCatDlg>([](TZelkSelCatDlg* dialog) {
        SelectTexts(Child<QListWidget>(dialog, "SrcList"),
                    {QStringLiteral("Discrete"), QStringLiteral("Deviation")});
        dialog->IncludeBtnClick();
        Child<QPushButton>(dialog, "CancelBtn")->click();
    });
    EXPECT_FALSE(SelectCategories(&Server, chosen));
    EXPECT_EQ(chosen, QStringList{"Level"});

    act = WhenShown<TZelkSelCatDlg>([](TZelkSelCatDlg* dialog) {
        SelectTexts(Child<QListWidget>(dialog, "SrcList"),
                    {QStringLiteral("Discrete"), QStringLiteral("Deviation")});
        dialog->IncludeBtnClick();
        Child<QPushButton>(dialog, "bOk")->click();
    });
    EXPECT_TRUE(SelectCategories(&Server, chosen));
    EXPECT_EQ(chosen, (QStringList{"Level", "Discrete", "Deviation"}));
}
