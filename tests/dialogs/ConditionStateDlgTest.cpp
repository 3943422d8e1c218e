// The condition state window: every field from the snapshot, the bell on the active
// sub-condition only, "unknown" for a missing time, and attribute result codes as
// signed numbers.

#include "DialogTestSupport.h"
#include "ZelkConditionStateDlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <string>

using namespace zelk::dlgtest;

namespace {

FILETIME FileTimeOf(const QDateTime& time) {
    const auto ticks =
        static_cast<std::uint64_t>(time.toMSecsSinceEpoch() + 11644473600000LL) * 10000ULL;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// A condition state record as a server fills it, pointing into this object.
struct TStateRecord {
    OPCCONDITIONSTATE State{};
    std::vector<std::u16string> Texts;
    std::vector<LPWSTR> Names, Definitions, Descriptions;
    std::vector<DWORD> Severities;
    std::u16string Active, ActiveDefinition, ActiveDescription, Acknowledger, Comment;

    struct TSub {
        const char16_t* Name;
        const char16_t* Definition;
        const char16_t* Description;
        DWORD Severity;
    };

    TStateRecord(const std::vector<TSub>& subs, int active) {
        Texts.reserve(subs.size() * 3);
        const auto keep = [this](const char16_t* text) {
            Texts.emplace_back(text);
            return Texts.back().data();
        };
        for (const TSub& sub : subs) {
            Names.push_back(keep(sub.Name));
            Definitions.push_back(keep(sub.Definition));
            Descriptions.push_back(keep(sub.Description));
            Severities.push_back(sub.Severity);
        }
        if (active >= 0) {
            const TSub& sub = subs[static_cast<std::size_t>(active)];
            Active = sub.Name;
            ActiveDefinition = sub.Definition;
            ActiveDescription = sub.Description;
            State.dwASCSeverity = sub.Severity;
        }
        Acknowledger = u"operator 7";
        Comment = u"seen";
        State.wState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
        State.wQuality = OPC_QUALITY_GOOD;
        State.szActiveSubCondition = Active.data();
        State.szASCDefinition = ActiveDefinition.data();
        State.szASCDescription = ActiveDescription.data();
        State.szAcknowledgerID = Acknowledger.data();
        State.szComment = Comment.data();
        State.dwNumSCs = static_cast<DWORD>(subs.size());
        State.pszSCNames = Names.data();
        State.pszSCDefinitions = Definitions.data();
        State.pszSCDescriptions = Descriptions.data();
        State.pdwSCSeverities = Severities.data();
    }
};

const std::vector<TStateRecord::TSub> LevelSubs{
    {u"HI HI", u"CV >= HI HI LIMIT", u"Level high high", 900},
    {u"HI", u"CV >= HI LIMIT", u"Level high", 700},
    {u"LO", u"CV <= LO LIMIT", u"Level low", 700},
};

// Row i's bell: whether its first column shows a picture.
std::vector<bool> Bells(const QTreeWidget* list) {
    std::vector<bool> bells;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        bells.push_back(!list->topLevelItem(i)->icon(0).isNull());
    return bells;
}

class ConditionStateDlg : public DialogTest {};

} // namespace

TEST_F(ConditionStateDlg, TheActiveSubConditionAloneCarriesTheBell) {
    TStateRecord third(LevelSubs, 2);
    TZelkEventCondition withThird(QStringLiteral("Plant1.TankFarm.LIC201"),
                                  QStringLiteral("PVLEVEL"), third.State);
    TConditionStateDlg dialog;
    dialog.SetConditionstate(&withThird);
    dialog.FormShow();
    auto* subs = Child<QTreeWidget>(&dialog, "ListView1");
    ASSERT_EQ(subs->topLevelItemCount(), 3);
    EXPECT_EQ(Bells(subs), (std::vector<bool>{false, false, true}));
    const QTreeWidgetItem* row = subs->topLevelItem(0);
    EXPECT_EQ((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
              (QStringList{"HI HI", "CV >= HI HI LIMIT", "Level high high", "900"}));
    EXPECT_TRUE(row->textAlignment(3) & Qt::AlignRight) << "severity is right-aligned";

    // Without an active sub-condition no row has a picture; showing again replaces rows.
    TStateRecord none(LevelSubs, -1);
    TZelkEventCondition withNone(QStringLiteral("S"), QStringLiteral("C"), none.State);
    ASSERT_EQ(withNone.ActiveSubCondition(), -1);
    dialog.SetConditionstate(&withNone);
    dialog.FormShow();
    EXPECT_EQ(Bells(subs), (std::vector<bool>{false, false, false}));

    // No sub-conditions and no attribute values: both lists stay empty.
    TStateRecord empty({}, -1);
    TZelkEventCondition bare(QStringLiteral("S"), QStringLiteral("C"), empty.State);
    dialog.SetConditionstate(&bare);
    dialog.FormShow();
    EXPECT_EQ(subs->topLevelItemCount(), 0);
    EXPECT_EQ(Child<QTreeWidget>(&dialog, "ListView2")->topLevelItemCount(), 0);
}

TEST_F(ConditionStateDlg, TimesQualityAndFlagsAsReported) {
    TStateRecord record(LevelSubs, 0);
    const QDateTime active(QDate(2024, 3, 1), QTime(12, 30, 5), Qt::UTC);
    record.State.ftCondLastActive = FileTimeOf(active);
    record.State.ftSubCondLastActive = FileTimeOf(active.addSecs(60));
    record.State.ftCondLastInactive = FileTimeOf(active.addSecs(120));
    // ftLastAckTime stays 0: never acknowledged.
    record.State.wQuality = OPC_QUALITY_BAD | OPC_QUALITY_SENSOR_FAILURE;
    record.State.wState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED;
    TZelkEventCondition bad(QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL"),
                            record.State);

    TConditionStateDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Show Condition state"));
    EXPECT_FALSE(dialog.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(Child<QWidget>(&dialog, "Panel2")->isEnabled()) << "display only";
    dialog.SetConditionstate(&bad);
    dialog.FormShow();
    const auto text = [&](const char* name) { return Child<QLineEdit>(&dialog, name)->text(); };
    EXPECT_EQ(text("eSource"), QStringLiteral("Plant1.TankFarm.LIC201"));
    EXPECT_EQ(text("eCondition"), QStringLiteral("PVLEVEL"));
    EXPECT_EQ(text("eAcknowledger"), QStringLiteral("operator 7"));
    EXPECT_EQ(text("eAckComment"), QStringLiteral("seen"));
    EXPECT_EQ(text("eLAck"), QStringLiteral("unknown"));
    EXPECT_EQ(text("eLCondition"), DateTimeToStr(bad.CondLastActive(), QLocale()));
    EXPECT_EQ(text("eLSubcondition"), DateTimeToStr(bad.SubCondLastActive(), QLocale()));
    EXPECT_EQ(text("eLInactive"), DateTimeToStr(bad.CondLastInactive(), QLocale()));
    EXPECT_NE(text("eLCondition"), text("eLInactive"));
    EXPECT_EQ(text("eQuality"), QStringLiteral("Bad"));
    EXPECT_FALSE(Child<QCheckBox>(&dialog, "cActive")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(&dialog, "cEnabled")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(&dialog, "cAcknowledged")->isChecked());

    record.State.wQuality = OPC_QUALITY_LOCAL_OVERRIDE; // a good quality with a sub-status
    TZelkEventCondition good(QStringLiteral("S"), QStringLiteral("C"), record.State);
    dialog.SetConditionstate(&good);
    dialog.FormShow();
    EXPECT_EQ(text("eQuality"), QStringLiteral("Good"));
}

TEST_F(ConditionStateDlg, AttributeValuesWithTheirSignedResultCodes) {
    ASSERT_TRUE(Sim->Activate(QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL")));
    Server.FirstAttributeError = static_cast<HRESULT>(0xC0040011);
    std::unique_ptr<TZelkEventCondition> snapshot = Server.GetConditionState(
        QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL"));
    ASSERT_TRUE(snapshot && snapshot->CustomProps());
    const TZelkEventCustomProps& props = *snapshot->CustomProps();
    ASSERT_GE(props.Count(), 2);

    TConditionStateDlg dialog;
    dialog.SetConditionstate(snapshot.get());
    dialog.FormShow();
    auto* list = Child<QTreeWidget>(&dialog, "ListView2");
    ASSERT_EQ(list->topLevelItemCount(), props.Count());
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("-1073479663"));
    for (int i = 0; i < props.Count(); ++i) {
        EXPECT_EQ(list->topLevelItem(i)->text(0), props.Names(i));
        EXPECT_EQ(list->topLevelItem(i)->text(1), props.ValueAsString(i));
    }
    QStringList values;
    for (int i = 1; i < props.Count(); ++i) {
        EXPECT_EQ(list->topLevelItem(i)->text(2), QStringLiteral("0"));
        values.append(list->topLevelItem(i)->text(1));
    }
    values.removeAll(QString());
    EXPECT_FALSE(values.isEmpty()) << "the values the server read are shown";
    EXPECT_EQ(Child<QLineEdit>(&dialog, "eQuality")->text(), QStringLiteral("Good"));
    EXPECT_TRUE(Child<QCheckBox>(&dialog, "cActive")->isChecked());
}

TEST_F(ConditionStateDlg, ShownModallyAndClosedWithClose) {
    ShowConditionState(nullptr); // nothing to show: returns at once

    TStateRecord record(LevelSubs, 1);
    TZelkEventCondition condition(QStringLiteral("Plant1.TankFarm.LIC201"),
                                  QStringLiteral("PVLEVEL"), record.State);
    QStringList seen;
    const auto closer = WhenShown<TConditionStateDlg>([&](TConditionStateDlg* dialog) {
        seen = Texts(Child<QTreeWidget>(dialog, "ListView1"));
        Child<QPushButton>(dialog, "bClose")->click();
    });
    ShowConditionState(&condition);
    EXPECT_EQ(seen, (QStringList{"HI HI", "HI", "LO"}));
    EXPECT_EQ(condition.SubConditions().Count(), 3) << "the snapshot stays the caller's";
}
