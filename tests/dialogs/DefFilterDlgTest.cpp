// The filter dialog: the filter list and its controls, Update applying one filter,
// adding and deleting, and the severity check.

#include "DialogTestSupport.h"
#include "ShowException.h"
#include "ZelkDefFilterDlg.h"
#include "ZelkSelCategoryDlg.h"
#include "ZelkTabControl.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using enum ZelkAEEnums::TZelkEventtype;

using namespace zelk::dlgtest;

namespace {

class DefFilterDlg : public DialogTest {
protected:
    DefFilterDlg() {
        Box = Child<QListWidget>(&Dialog, "FilterBox");
        List = Child<QListWidget>(&Dialog, "Listbox");
        Tabs = Child<TZelkTabControl>(&Dialog, "TabControl1");
        Dialog.SetServer(&Server);
    }

    TZelkEventFilters& Filters() { return *Server.Filter(); }
    QCheckBox* Check(const char* name) { return Child<QCheckBox>(&Dialog, name); }
    QLineEdit* Edit(const char* name) { return Child<QLineEdit>(&Dialog, name); }
    bool UpdateEnabled() { return Child<QPushButton>(&Dialog, "bUpdate")->isEnabled(); }
    void Select(int row) { Box->setCurrentRow(row); }
    int Selected() const {
        const auto items = Box->selectedItems();
        return items.isEmpty() ? -1 : Box->row(items.front());
    }
    void ShowTab(int tab) {
        Tabs->TabBar()->setCurrentIndex(tab); // as the user does: fires the change
    }

    TZelkDefineFilterDlg Dialog;
    QListWidget* Box;
    QListWidget* List;
    TZelkTabControl* Tabs;
};

} // namespace

TEST(StrToInt, TheRuntimesIntegerConversion) {
    using zelk::dialogs::StrToInt;
    EXPECT_EQ(StrToInt(QStringLiteral(" 42")), 42);
    EXPECT_EQ(StrToInt(QStringLiteral("-7")), -7);
    EXPECT_EQ(StrToInt(QStringLiteral("$1F")), 31);
    EXPECT_EQ(StrToInt(QStringLiteral("0x10")), 16);
    EXPECT_EQ(StrToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
    for (const char* bad : {"", "abc", "1.5", "2147483648", "--1", "+-1", "$", "12a"}) {
        const QString text = QString::fromLatin1(bad);
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
}

TEST_F(DefFilterDlg, AnEmptyCollectionLeavesOnlyAdding) {
    while (Filters().Count() > 0)
        delete Filters().Items(0);
    Dialog.FormShow();
    EXPECT_EQ(Box->count(), 0);
    for (const char* name :
         {"cActive", "eFilterName", "cSimple", "cCondition", "cTracking", "eFrom", "eTo", "gFilter",
          "gSeverity", "gEvents", "TabControl1", "bFilterDef", "bUpdate"})
        EXPECT_FALSE(Child<QWidget>(&Dialog, name)->isEnabled()) << name;
    EXPECT_TRUE(Edit("eFilterName")->text().isEmpty());
    EXPECT_TRUE(Edit("eFrom")->text().isEmpty());
    EXPECT_TRUE(Edit("eTo")->text().isEmpty());
    EXPECT_FALSE(Check("cSimple")->isChecked());
    EXPECT_TRUE(Child<QToolButton>(&Dialog, "bFilterAdd")->isEnabled());

    // A new filter is shown at once, inactive, with the controls back on.
    Dialog.bFilterAddClick();
    ASSERT_EQ(Filters().Count(), 1);
    EXPECT_EQ(Texts(Box), QStringList{"Filter_1"});
    EXPECT_EQ(Selected(), 0);
    EXPECT_TRUE(Edit("eFrom")->isEnabled());
    EXPECT_EQ(Edit("eFrom")->text(), QStringLiteral("0"));
    EXPECT_EQ(Edit("eTo")->text(), QStringLiteral("1000"));
    EXPECT_FALSE(Check("cActive")->isChecked());
    EXPECT_FALSE(UpdateEnabled());
}

TEST_F(DefFilterDlg, FiltersListedWithTheirControls) {
    Filters().Items(0)->SetEventType(tZelkEventtypes{evCondition});
    Filters().Items(0)->SetSeverityLow(300);
    TZelkEventFilter* blank = Filters().Add();
    blank->SetName(QStringLiteral("   "));
    Dialog.FormShow();
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Define Filter"));
    EXPECT_EQ(Texts(Box), (QStringList{"Default", "Filter_2"}));
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Edit("eFilterName")->text(), QStringLiteral("Default"));
    EXPECT_TRUE(Check("cActive")->isChecked());
    EXPECT_FALSE(Check("cSimple")->isChecked());
    EXPECT_TRUE(Check("cCondition")->isChecked());
    EXPECT_FALSE(Check("cTracking")->isChecked());
    EXPECT_EQ(Edit("eFrom")->text(), QStringLiteral("300"));
    EXPECT_FALSE(UpdateEnabled()) << "showing is not editing";
    EXPECT_EQ(Tabs->TabCount(), 3);
    EXPECT_EQ(Tabs->TabCaption(2), QStringLiteral("Sources"));

    // An empty event type set is every type: all three boxes.
    Select(1);
    EXPECT_TRUE(Check("cSimple")->isChecked());
    EXPECT_TRUE(Check("cCondition")->isChecked());
    EXPECT_TRUE(Check("cTracking")->isChecked());
    Edit("eTo")->setText(QStringLiteral("800"));
    EXPECT_TRUE(UpdateEnabled());
}

TEST_F(DefFilterDlg, UpdateAppliesOneFilterAndNoTypeMeansAll) {
    Dialog.FormShow();
    const int subscriptions = Sim->Subscriptions();
    Dialog.bFilterAddClick();
    TZelkEventFilter* added = Filters().Items(1);
    EXPECT_FALSE(added->Active());
    EXPECT_EQ(added->Subscriptor(), nullptr) << "inactive until Update";
    EXPECT_EQ(Sim->Subscriptions(), subscriptions);

    Edit("eFilterName")->setText(QStringLiteral("Tank alarms"));
    Check("cActive")->setChecked(true);
    for (const char* type : {"cSimple", "cCondition", "cTracking"})
        Check(type)->setChecked(false);
    Edit("eFrom")->setText(QStringLiteral("500"));
    Edit("eTo")->setText(QStringLiteral("900"));
    Dialog.AreaList() = QStringList{QStringLiteral("Plant1.TankFarm")};
    Dialog.bUpdateClick();
    EXPECT_EQ(added->Name(), QStringLiteral("Tank alarms"));
    EXPECT_EQ(Texts(Box).last(), QStringLiteral("Tank alarms"));
    EXPECT_TRUE(added->EventType().IsEmpty()) << "no box checked: every type";
    EXPECT_EQ(added->SeverityLow(), 500);
    EXPECT_EQ(added->SeverityHigh(), 900);
    EXPECT_EQ(added->Areas(), QStringList{"Plant1.TankFarm"});
    EXPECT_NE(added->Subscriptor(), nullptr);
    EXPECT_EQ(Sim->Subscriptions(), subscriptions + 1);
    EXPECT_FALSE(UpdateEnabled());
    Sim->Pump();

    // Shown again, every type is checked; two boxes give those two types.
    Select(0);
    Select(1);
    EXPECT_TRUE(Check("cSimple")->isChecked() && Check("cCondition")->isChecked() &&
                Check("cTracking")->isChecked());
    Check("cSimple")->setChecked(false);
    Edit("eFilterName")->clear(); // an empty name keeps the old one
    Dialog.bUpdateClick();
    EXPECT_EQ(added->EventType(), (tZelkEventtypes{evCondition, evTracking}));
    EXPECT_EQ(added->Name(), QStringLiteral("Tank alarms"));
}

TEST_F(DefFilterDlg, ANonIntegerSeverityStopsUpdateHalfWay) {
    Dialog.FormShow();
    TZelkEventFilter* filter = Filters().Items(0);
    Edit("eFilterName")->setText(QStringLiteral("Renamed"));
    Check("cTracking")->setChecked(false);
    Edit("eFrom")->setText(QStringLiteral("12x"));
    Edit("eTo")->setText(QStringLiteral("700"));
    Dialog.CatList() = QStringList{QStringLiteral("Level")};
    try {
        Dialog.bUpdateClick();
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'12x' is not a valid integer value"));
    }
    EXPECT_EQ(filter->Name(), QStringLiteral("Renamed"));
    EXPECT_EQ(filter->EventType(), (tZelkEventtypes{evSimple, evCondition}));
    EXPECT_EQ(filter->SeverityLow(), 0);
    EXPECT_EQ(filter->SeverityHigh(), 1000) << "neither bound is written";
    EXPECT_TRUE(filter->Categories().isEmpty());
    EXPECT_TRUE(UpdateEnabled());

    // From the button, the message goes to the application's display.
    QString shown;
    const TShowExceptionHandler saved = SetShowExceptionHandler(
        [&](const std::exception& e) { shown = dynamic_cast<const Exception&>(e).Message(); });
    Child<QPushButton>(&Dialog, "bUpdate")->click();
    SetShowExceptionHandler(saved);
    EXPECT_EQ(shown, QStringLiteral("'12x' is not a valid integer value"));
}

TEST_F(DefFilterDlg, DeletingSelectsTheEntryBefore) {
    Filters().Add();
    Filters().Add();
    // Connected again, every filter has its subscription.
    Server.Disconnect();
    Server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    Sim->Pump();
    Dialog.FormShow();
    const int subscriptions = Sim->Subscriptions();
    ASSERT_EQ(subscriptions, 3);
    Select(2);
    Dialog.bFilterDelClick();
    EXPECT_EQ(Filters().Count(), 2);
    EXPECT_EQ(Selected(), 1);
    EXPECT_EQ(Edit("eFilterName")->text(), QStringLiteral("Filter_2"));
    EXPECT_EQ(Sim->Subscriptions(), subscriptions - 1) << "its subscription went with it";
    Sim->Pump();

    Select(0);
    Dialog.bFilterDelClick();
    EXPECT_EQ(Texts(Box), QStringList{"Filter_2"});
    EXPECT_EQ(Selected(), -1) << "deleting the first leaves nothing selected";
    EXPECT_FALSE(Edit("eFilterName")->isEnabled());
    EXPECT_TRUE(Edit("eFilterName")->text().isEmpty());
    Dialog.bFilterDelClick(); // nothing selected: nothing deleted
    EXPECT_EQ(Filters().Count(), 1);
}

TEST_F(DefFilterDlg, TabsShowTheirWorkingListsUntilAnotherFilterIsShown) {
    Filters().Items(0)->SetSources({QStringLiteral("Plant1.PLC1")});
    Filters().Add()->SetCategories({QStringLiteral("Discrete")});
    Dialog.FormShow();
    EXPECT_TRUE(Texts(List).isEmpty()) << "Categories first";

    // The pick list replaces the working list; Update is then possible.
    const auto act = WhenShown<TZelkSelCatDlg>([](TZelkSelCatDlg* dialog) {
        SelectTexts(Child<QListWidget>(dialog, "SrcList"), {QStringLiteral("Level")});
        dialog->IncludeBtnClick();
        Child<QPushButton>(dialog, "bOk")->click();
    });
    Dialog.bFilterDefClick();
    EXPECT_EQ(Texts(List), QStringList{"Level"});
    EXPECT_TRUE(UpdateEnabled());
    ShowTab(TZelkDefineFilterDlg::ftSources);
    EXPECT_EQ(Texts(List), QStringList{"Plant1.PLC1"});
    ShowTab(TZelkDefineFilterDlg::ftCategories);
    EXPECT_EQ(Texts(List), QStringList{"Level"}) << "the edit is kept across tabs";
    EXPECT_TRUE(Filters().Items(0)->Categories().isEmpty()) << "until Update";

    // Showing another filter replaces the working lists without asking.
    Select(1);
    EXPECT_EQ(Texts(List), QStringList{"Discrete"});
    Select(0);
    EXPECT_TRUE(Texts(List).isEmpty());
}

TEST_F(DefFilterDlg, ShownModallyItAlwaysAnswersFalse) {
    const auto act = WhenShown<TZelkDefineFilterDlg>([](TZelkDefineFilterDlg* dialog) {
        Child<QLineEdit>(dialog, "eFrom")->setText(QStringLiteral("250"));
        Child<QPushButton>(dialog, "bUpdate")->click();
        Child<QPushButton>(dialog, "bClose")->click();
    });
    EXPECT_FALSE(ShowDefineFilterDlg(&Server));
    EXPECT_EQ(Server.Filter()->Items(0)->SeverityLow(), 250) << "applied by Update";
}
