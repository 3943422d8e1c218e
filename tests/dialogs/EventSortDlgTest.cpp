// The sort dialog: the keys move between the lists in the order the operator sees,
// descending marks toggle and vanish on the way back, and "none" is no key at all.

#include "DialogTestSupport.h"
#include "ZelkEventSortDlg.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace zelk::dlgtest;

namespace {

class EventSortDlg : public DialogTest {
protected:
    EventSortDlg() {
        Src = Child<QListWidget>(&Dialog, "SrcList");
        Dst = Child<QListWidget>(&Dialog, "DstList");
    }

    void Show(const QStringList& keys) {
        Dialog.SortProps() = keys;
        Dialog.FormShow();
    }

    TZelkEvSortDlg Dialog;
    QListWidget* Src;
    QListWidget* Dst;
};

const QStringList AllProperties{"Active",      "Enabled",       "Acknowledged",     "ActorID",
                                "Source",      "Time",          "ActiveTime",       "Msg",
                                "NewState",    "ChangeMask",    "EventType",        "EventCategory",
                                "Severity",    "ConditionName", "SubconditionName", "Quality",
                                "AckRequired", "Cookie",        "NumEventAttrs",    "ID",
                                "Key"};

} // namespace

TEST(SortKeys, DescendingMarkStrippedAndToggled) {
    EXPECT_EQ(StripDescending(QStringLiteral("Time (D)")), QStringLiteral("Time"));
    EXPECT_EQ(StripDescending(QStringLiteral("Time")), QStringLiteral("Time"));
    EXPECT_EQ(ToggleDescending(QStringLiteral("Time")), QStringLiteral("Time (D)"));
    EXPECT_EQ(ToggleDescending(QStringLiteral("Time (D)")), QStringLiteral("Time"));
    EXPECT_EQ(ZelkEventPropertyNames(), AllProperties) << "the event record's own properties";
}

TEST_F(EventSortDlg, NoneOffersEveryPropertyInAlphabeticalOrder) {
    Show({});
    QStringList sorted = AllProperties;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(Texts(Src), sorted);
    EXPECT_TRUE(Texts(Dst).isEmpty());
    EXPECT_TRUE(Child<QToolButton>(&Dialog, "IncludeBtn")->isEnabled());
    EXPECT_FALSE(Child<QToolButton>(&Dialog, "ExcludeBtn")->isEnabled());
    EXPECT_FALSE(Child<QToolButton>(&Dialog, "ExAllBtn")->isEnabled());
    EXPECT_EQ(Child<QLabel>(&Dialog, "Label1")->text(),
              QStringLiteral("double click for descending"));

    // Chosen keys keep their marks on the right and leave the left list, whatever case
    // they were written in.
    Show({QStringLiteral("Active (D)"), QStringLiteral("time")});
    EXPECT_EQ(Texts(Dst), (QStringList{"Active (D)", "time"}));
    EXPECT_EQ(Src->count(), 19);
    EXPECT_FALSE(Texts(Src).contains(QStringLiteral("Time")));
    EXPECT_FALSE(Texts(Src).contains(QStringLiteral("Active")));
}

TEST_F(EventSortDlg, IncludeAppendsSelectedInReverseAndMenusReorder) {
    Show({QStringLiteral("Severity")});
    SelectTexts(Src, {QStringLiteral("Time"), QStringLiteral("Source")});
    const int firstSelected = Texts(Src).indexOf(QStringLiteral("Source"));
    Dialog.IncludeBtnClick();
    EXPECT_EQ(Texts(Dst), (QStringList{"Severity", "Time", "Source"}));
    EXPECT_EQ(Src->currentRow(), firstSelected) << "the next entry in place is selected";
    EXPECT_TRUE(Src->item(firstSelected)->isSelected());

    Dst->setCurrentRow(2);
    Dialog.Moveup1Click();
    EXPECT_EQ(Texts(Dst), (QStringList{"Severity", "Source", "Time"}));
    Dialog.Moveup1Click();
    Dialog.Moveup1Click(); // already first: stays
    EXPECT_EQ(Texts(Dst), (QStringList{"Source", "Severity", "Time"}));
    Dst->setCurrentRow(2);
    Dialog.Movedown1Click(); // already last: stays
    Dst->setCurrentRow(0);
    Dialog.Movedown1Click();
    EXPECT_EQ(Texts(Dst), (QStringList{"Severity", "Source", "Time"}));
    EXPECT_NE(Dialog.findChild<QAction*>(QStringLiteral("Moveup1")), nullptr);
    EXPECT_NE(Dialog.findChild<QAction*>(QStringLiteral("Movedown1")), nullptr);
}

TEST_F(EventSortDlg, DoubleClickTogglesAndTheMarkStaysOnTheRight) {
    Show({QStringLiteral("Time")});
    Dst->setCurrentRow(0);
    Dialog.DstListDblClick();
    EXPECT_EQ(Texts(Dst), QStringList{"Time (D)"});
    Dialog.DstListDblClick();
    EXPECT_EQ(Texts(Dst), QStringList{"Time"});
    Dialog.DstListDblClick();

    // Back on the left it is a plain property in its alphabetical place.
    SelectTexts(Dst, {QStringLiteral("Time (D)")});
    Dialog.ExcludeBtnClick();
    EXPECT_TRUE(Texts(Dst).isEmpty());
    EXPECT_EQ(Texts(Src).filter(QStringLiteral("Time")), (QStringList{"ActiveTime", "Time"}));
    EXPECT_EQ(Src->count(), 21);

    // "<<" strips every mark too; ">>" takes every entry in order.
    Show({QStringLiteral("Active (D)"), QStringLiteral("Time (D)")});
    Dialog.ExcAllBtnClick();
    EXPECT_TRUE(Texts(Src).contains(QStringLiteral("Active")));
    EXPECT_FALSE(Texts(Src).join(QLatin1Char(',')).contains(QStringLiteral("(D)")));
    const QStringList left = Texts(Src);
    Dialog.IncAllBtnClick();
    EXPECT_EQ(Texts(Dst), left);
    EXPECT_FALSE(Child<QToolButton>(&Dialog, "IncludeBtn")->isEnabled());
    EXPECT_TRUE(Child<QToolButton>(&Dialog, "ExAllBtn")->isEnabled());
}

TEST_F(EventSortDlg, MovingWithNothingSelected) {
    Show({QStringLiteral("Time")});
    Src->clearSelection();
    Dst->clearSelection();
    // "<" does nothing ...
    Dialog.ExcludeBtnClick();
    EXPECT_EQ(Texts(Dst), QStringList{"Time"});
    EXPECT_TRUE(Dst->selectedItems().isEmpty());
    // ... while ">" selects the first left entry and moves nothing.
    Dialog.IncludeBtnClick();
    EXPECT_EQ(Texts(Dst), QStringList{"Time"});
    EXPECT_EQ(Src->currentRow(), 0);
    EXPECT_TRUE(Src->item(0)->isSelected());
    EXPECT_EQ(Src->count(), 20);
}

TEST_F(EventSortDlg, ShownModallyTheServerTakesTheKeysOnOkOnly) {
    Server.SetEventlistSort({QStringLiteral("Severity (D)"), QStringLiteral("Time")});
    // Cancel changes nothing.
    auto closer = WhenShown<TZelkEvSortDlg>([](TZelkEvSortDlg* dialog) {
        dialog->ExcAllBtnClick();
        Child<QPushButton>(dialog, "bCancel")->click();
    });
    EXPECT_FALSE(ShowEventSortDlg(&Server));
    EXPECT_EQ(Server.EventlistSort(), (QStringList{"Severity (D)", "Time"}));

    // An emptied right list confirmed with OK sorts by nothing.
    QStringList shown;
    closer = WhenShown<TZelkEvSortDlg>([&](TZelkEvSortDlg* dialog) {
        shown = Texts(Child<QListWidget>(dialog, "DstList"));
        dialog->ExcAllBtnClick();
        Child<QPushButton>(dialog, "bOk")->click();
    });
    EXPECT_TRUE(ShowEventSortDlg(&Server));
    EXPECT_EQ(shown, (QStringList{"Severity (D)", "Time"}));
    EXPECT_EQ(Server.EventlistSort(), QStringList{"none"});

    // "none" is not offered as a key when the dialog opens again.
    closer = WhenShown<TZelkEvSortDlg>([&](TZelkEvSortDlg* dialog) {
        shown = Texts(Child<QListWidget>(dialog, "DstList"));
        auto* src = Child<QListWidget>(dialog, "SrcList");
        SelectTexts(src, {QStringLiteral("Time")});
        dialog->IncludeBtnClick();
        Child<QPushButton>(dialog, "bOk")->click();
    });
    EXPECT_TRUE(ShowEventSortDlg(&Server));
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(Server.EventlistSort(), QStringList{"Time"});
}
