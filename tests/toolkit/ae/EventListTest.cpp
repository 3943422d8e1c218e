// The event list on its own, without an event server: merging by key, key order, the
// owning list's control of its events' lives, and walking a snapshot while handlers
// destroy events.

#include "AETestSupport.h"

#include <set>

using namespace zelk::aetest;

namespace {

class EventList : public AETest {};

// An event of no server that counts its destructions.
class TCountedEvent : public TZelkEvent {
public:
    TCountedEvent(const QString& source, const QString& condition, int id, int& destroyed,
                  WORD severity = 500)
        : TZelkEvent(Record(source, condition, severity), id), Destroyed(destroyed) {}
    ~TCountedEvent() override { ++Destroyed; }
    int& Destroyed;

private:
    static ONEVENTSTRUCT& Record(const QString& source, const QString& condition, WORD severity) {
        static TNotification notification;
        notification.Source = source;
        notification.Condition = condition;
        notification.Severity = severity;
        return notification.Record();
    }
};

// Events of no server numbered from 1.
class TEventMaker {
public:
    std::unique_ptr<TCountedEvent>
    operator()(const QString& source, const QString& condition = QString(), WORD severity = 500) {
        return std::make_unique<TCountedEvent>(source, condition, ++FLastId, Destroyed, severity);
    }
    int Destroyed = 0;

private:
    int FLastId = 0;
};

QStringList KeysOf(const TZelkEvents& list) {
    QStringList keys;
    for (int i = 0; i < list.KeyCount(); ++i)
        keys << list.Keys(i);
    return keys;
}

QStringList SourcesInView(const TZelkEvents& list) {
    QStringList sources;
    for (int i = 0; i < list.Count(); ++i)
        sources << list.Events(i)->Source();
    return sources;
}

} // namespace

TEST_F(EventList, ThreeNotificationsForOneKeyKeepTheLatestTwo) {
    TEventMaker make;
    TZelkEvents list;
    QList<int> discardedIds;
    list.SetDeleter([&](std::unique_ptr<TZelkEvent> event) {
        discardedIds << event->ID();
        EXPECT_EQ(event->OPCAEServer(), nullptr) << "detached before it goes";
    });
    const QString tank = QStringLiteral("Tank1");
    const QString level = QStringLiteral("LevelHigh");

    TZelkEvent* first = list.AddEvent(make(tank, level));
    list.AddEvent(make(QStringLiteral("Pump1")));
    TZelkEvent* second = list.AddEvent(make(tank, level));
    ASSERT_EQ(list.KeyCount(), 2);
    EXPECT_EQ(list.Objects(1), second);
    EXPECT_EQ(second->LastEvent(), first);
    EXPECT_EQ(second->ID(), 1) << "the entry's ID is inherited";
    EXPECT_EQ(make.Destroyed, 0);

    TZelkEvent* third = list.AddEvent(make(tank, level));
    EXPECT_EQ(discardedIds, QList<int>{1}) << "the first went through the deleter";
    EXPECT_EQ(make.Destroyed, 1);
    EXPECT_EQ(list.Objects(1), third);
    EXPECT_EQ(third->LastEvent(), second);
    EXPECT_EQ(second->LastEvent(), second) << "the second holds nothing any more";
    EXPECT_EQ(third->ID(), 1);
    EXPECT_TRUE(list.Holds(third));
    EXPECT_FALSE(list.Holds(second)) << "a previous notification belongs to its successor";
    EXPECT_EQ(MessageOf([&] { list.AddEvent(nullptr); }), QStringLiteral("Event is nil"));
    list.DeleteEvents();
    EXPECT_EQ(make.Destroyed, 4);
    EXPECT_EQ(discardedIds.size(), 1) << "DeleteEvents hands nothing to the deleter";
}

TEST_F(EventList, KeysStayInLocaleOrderAndDifferingCaseSharesAnEntry) {
    TEventMaker make;
    TZelkEvents list;
    list.AddEvent(make(QStringLiteral("Tank1"), QStringLiteral("LevelHigh")));
    list.AddEvent(make(QStringLiteral("TANK1"), QStringLiteral("levelhigh")));
    for (const char* source : {"pump", "Zulauf", "tank2", "Äbfluss", "Tank10", "ablauf", "b"})
        list.AddEvent(make(QString::fromUtf8(source)));
    const QStringList keys = KeysOf(list);
    ASSERT_EQ(keys.size(), 8);
    for (qsizetype i = 1; i < keys.size(); ++i)
        EXPECT_LT(AnsiCompareText(keys[i - 1], keys[i]), 0) << keys[i - 1].toStdString();
    EXPECT_EQ(keys.first(), QStringLiteral("Äbfluss")) << "letters, not code points, decide";
    EXPECT_TRUE(keys.contains(QStringLiteral("Tank1LevelHigh")))
        << "the key text of the first notification stays";

    int index = -1;
    EXPECT_TRUE(list.Find(QStringLiteral("tank1LEVELHIGH"), index));
    EXPECT_EQ(list.Objects(index)->Key(), QStringLiteral("TANK1levelhigh"));
    EXPECT_FALSE(list.Find(QStringLiteral("c"), index));
    EXPECT_EQ(index, 3) << "the insertion point after b";
    EXPECT_EQ(list.Count(), 8) << "no sort items: key order";
    EXPECT_EQ(list.Events(0), list.Objects(0));
    EXPECT_EQ(MessageOf([&] { (void)list.Events(8); }),
              QStringLiteral("List index out of bounds (8)"));
    EXPECT_EQ(MessageOf([&] { (void)list.Events(-1); }),
              QStringLiteral("List index out of bounds (-1)"));

    // The user's locale decides: Swedish sorts Ä after Z.
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    TZelkEvents swedish;
    for (const char* source : {"Äbfluss", "Zulauf", "ablauf"})
        swedish.AddEvent(make(QString::fromUtf8(source)));
    EXPECT_EQ(KeysOf(swedish), (QStringList{QStringLiteral("ablauf"), QStringLiteral("Zulauf"),
                                            QStringLiteral("Äbfluss")}));
}

TEST_F(EventList, ByIdFollowsEntriesAsTheyComeGoAndMerge) {
    int destroyed = 0;
    TEventMaker make;
    TZelkEvents list;
    for (int i = 0; i < 500; ++i)
        list.AddEvent(make(QStringLiteral("S%1").arg(i)));
    EXPECT_EQ(list.ById(250)->Source(), QStringLiteral("S249"));
    EXPECT_EQ(list.ById(999), nullptr);

    TZelkEvent* merged = list.AddEvent(make(QStringLiteral("S249")));
    EXPECT_EQ(list.ById(250), merged) << "the merged event answers for the entry's ID";
    EXPECT_EQ(list.ById(merged->ID()), merged);
    EXPECT_EQ(list.ById(501), nullptr) << "the new event's own ID went with the merge";

    std::unique_ptr<TZelkEvent> taken = list.Extract(merged);
    ASSERT_EQ(taken.get(), merged);
    EXPECT_EQ(list.ById(250), nullptr);
    EXPECT_EQ(list.Extract(merged), nullptr) << "no longer held";

    // Events that share an ID: the first in key order.
    list.AddEvent(std::make_unique<TCountedEvent>(QStringLiteral("Z"), QString(), 7, destroyed));
    EXPECT_EQ(list.ById(7)->Source(), QStringLiteral("S6"));
    list.Extract(list.ById(7));
    EXPECT_EQ(list.ById(7)->Source(), QStringLiteral("Z"));
}

TEST_F(EventList, PutEventHandsTheReplacedEventBack) {
    TEventMaker make;
    TZelkEvents list;
    list.AddSortItem(QStringLiteral("Severity"), true);
    list.AddEvent(make(QStringLiteral("A"), QString(), 100));
    list.AddEvent(make(QStringLiteral("B"), QString(), 900));
    list.Resort();
    ASSERT_EQ(SourcesInView(list), (QStringList{QStringLiteral("B"), QStringLiteral("A")}));

    std::unique_ptr<TZelkEvent> replaced = list.PutEvent(0, make(QStringLiteral("Other"), {}, 1));
    EXPECT_EQ(list.Objects(0)->Source(), QStringLiteral("Other"));
    EXPECT_EQ(list.Keys(0), QStringLiteral("A")) << "the key text stays";
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->Source(), QStringLiteral("A"));
    EXPECT_FALSE(list.Holds(replaced.get()));
    EXPECT_EQ(SourcesInView(list), QStringList{QStringLiteral("B")})
        << "the replaced event left the view at once; the new one waits for a Resort";
    EXPECT_EQ(list.ById(replaced->ID()), nullptr);
    replaced.reset();
    EXPECT_EQ(MessageOf([&] { list.PutEvent(2, make(QStringLiteral("X"))); }),
              QStringLiteral("List index out of bounds (2)"));
    list.Resort();
    EXPECT_EQ(SourcesInView(list), (QStringList{QStringLiteral("B"), QStringLiteral("Other")}));
}

TEST_F(EventList, TheListOwnsItsEventsToTheEnd) {
    TEventMaker make;
    {
        TZelkEvents list;
        for (const char* source : {"A", "B", "A", "C"})
            list.AddEvent(make(QString::fromLatin1(source)));
        list.AddSortItem(QStringLiteral("Source"), false);
        list.Resort();
        ASSERT_EQ(list.Count(), 3);
        list.DeleteEvents();
        EXPECT_EQ(make.Destroyed, 4) << "previous notifications included";
        EXPECT_EQ(list.KeyCount(), 0);
        EXPECT_EQ(list.Count(), 0);
        list.AddEvent(make(QStringLiteral("D")));
        list.AddEvent(make(QStringLiteral("D")));
    }
    EXPECT_EQ(make.Destroyed, 6) << "a list that goes takes its events with it";
}

TEST_F(EventList, AStaleViewNeverHandsOutAnEventThatLeft) {
    TEventMaker make;
    TZelkEvents list;
    list.AddSortItem(QStringLiteral("Source"), false);
    for (const char* source : {"A", "B", "C", "D"})
        list.AddEvent(make(QString::fromLatin1(source)));
    list.Resort();
    ASSERT_EQ(list.Count(), 4);
    const TZelkEvent* oldA = list.Objects(0);

    // A is notified twice more, which pushes its oldest notification (still in the view)
    // out: the deleter's handler still finds it there, alive.
    bool seenWhileDeleting = false;
    list.SetDeleter([&](std::unique_ptr<TZelkEvent> event) {
        for (int i = 0; i < list.Count(); ++i)
            seenWhileDeleting = seenWhileDeleting || list.Events(i) == event.get();
    });
    list.AddEvent(make(QStringLiteral("A")));
    list.AddEvent(make(QStringLiteral("A")));
    EXPECT_TRUE(seenWhileDeleting);
    EXPECT_EQ(make.Destroyed, 1) << "the oldest A is gone";
    std::unique_ptr<TZelkEvent> b = list.Extract(list.Objects(1));
    list.AddEvent(make(QStringLiteral("E")));

    EXPECT_EQ(SourcesInView(list), (QStringList{QStringLiteral("C"), QStringLiteral("D")}))
        << "A's oldest and B left at once, the new A and E are not sorted yet";
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_NE(list.Events(i), oldA);
    list.Resort();
    EXPECT_EQ(list.Count(), 4);
}

TEST_F(EventList, AWalkSkipsWhatTheListDestroyedOnTheWay) {
    TEventMaker make;
    TZelkEvents list;
    for (const char* source : {"A", "B", "C", "D"})
        list.AddEvent(make(QString::fromLatin1(source)));
    std::unique_ptr<TZelkEvent> outside = make(QStringLiteral("Outside"));

    TZelkEventRefs refs(list);
    refs.AddEvent(outside.get());
    refs.AddEvent(nullptr);
    ASSERT_EQ(refs.Count(), 5);
    EXPECT_EQ(refs.Events(4), outside.get());

    // Visiting A destroys C (a handler's doing); visiting B merges D, whose previous
    // notification stays alive and is visited.
    QStringList visited;
    list.ForEachLive(refs.Snapshot(), [&](std::size_t position, TZelkEvent* event,
                                          const TZelkEvents::TWalk& walk) {
        visited << QStringLiteral("%1:%2").arg(position).arg(event->Source());
        if (event->Source() == QStringLiteral("A")) {
            list.Extract(list.Objects(2));
            EXPECT_FALSE(walk.Gone(event));
        }
        if (event->Source() == QStringLiteral("B")) {
            list.AddEvent(make(QStringLiteral("D")));
            list.Extract(event);
            EXPECT_TRUE(walk.Gone(event)) << "handed over: no longer the walk's to visit";
        }
    });
    EXPECT_EQ(visited, (QStringList{QStringLiteral("0:A"), QStringLiteral("1:B"),
                                    QStringLiteral("3:D"), QStringLiteral("4:Outside")}));
    EXPECT_EQ(make.Destroyed, 2) << "C and B";
}

TEST_F(EventList, AChangedKeySortsTheViewAnew) {
    TEventMaker make;
    TZelkEvents list;
    list.AddSortItem(QStringLiteral("Key"), false);
    TZelkEvent* a = list.AddEvent(make(QStringLiteral("A")));
    list.AddEvent(make(QStringLiteral("B")));
    list.Resort();
    a->SetKey(QStringLiteral("Z"));
    EXPECT_EQ(list.Keys(0), QStringLiteral("A")) << "the entry keeps its key text";
    list.Resort();
    EXPECT_EQ(SourcesInView(list), (QStringList{QStringLiteral("B"), QStringLiteral("A")}));
    EXPECT_TRUE(list.Extract(a)) << "found by its entry, not by its new key";
    EXPECT_EQ(KeysOf(list), QStringList{QStringLiteral("B")});
}
