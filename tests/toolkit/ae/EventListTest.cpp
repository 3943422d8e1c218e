#include "AETestSupport.h"

#include <set>

using namespace zelk::aetest;

namespace {

class EventList : public AETest {
protected:
    // An event list without sort items: Count and Events present the key order.
    void Unsorted(TTestEventServer& server) { server.SetEventlistSort({}); }
};

// An event that counts its destructions.
class TCountedEvent : public TZelkEvent {
public:
    TCountedEvent(TZelkEventServer* server, const QString& source, const QString& condition,
                  int& destroyed)
        : TZelkEvent(server, Record(source, condition)), Destroyed(destroyed) {}
    ~TCountedEvent() override { ++Destroyed; }
    int& Destroyed;

private:
    static ONEVENTSTRUCT& Record(const QString& source, const QString& condition) {
        static TNotification notification;
        notification.Source = source;
        notification.Condition = condition;
        return notification.Record();
    }
};

QStringList KeysOf(const TZelkEvents& list) {
    QStringList keys;
    for (int i = 0; i < list.KeyCount(); ++i)
        keys << list.Keys(i);
    return keys;
}

} // namespace

TEST_F(EventList, ThreeNotificationsForOneKeyKeepTheLatestTwo) {
    TTestEventServer server;
    int destroyed = 0;
    QList<int> deletedIds;
    server.OnDeleteEvent = [&](TComponent*, TZelkEvent* event) { deletedIds << event->ID(); };
    TZelkEvents& list = *server.Events();
    const QString tank = QStringLiteral("Tank1");
    const QString level = QStringLiteral("LevelHigh");

    auto* first = new TCountedEvent(&server, tank, level, destroyed);
    list.AddEvent(first);
    list.AddEvent(NewEvent(&server, QStringLiteral("Pump1"), QString()));
    auto* second = new TCountedEvent(&server, tank, level, destroyed);
    EXPECT_NE(second->ID(), first->ID()) << "each record draws its own id";
    list.AddEvent(second);
    ASSERT_EQ(list.KeyCount(), 2);
    EXPECT_EQ(list.Objects(1), second);
    EXPECT_EQ(second->LastEvent(), first);
    EXPECT_EQ(second->ID(), first->ID());
    EXPECT_EQ(destroyed, 0);

    auto* third = new TCountedEvent(&server, tank, level, destroyed);
    list.AddEvent(third);
    EXPECT_EQ(deletedIds, QList<int>{1}) << "the first went through OnDeleteEvent";
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(list.Objects(1), third);
    EXPECT_EQ(third->LastEvent(), second);
    EXPECT_EQ(second->LastEvent(), second) << "the second holds nothing any more";
    EXPECT_EQ(third->ID(), 1);
    EXPECT_EQ(list.KeyCount(), 2);

    list.AddEvent(third); // the entry's own event again
    EXPECT_EQ(third->LastEvent(), second);
    list.DeleteEvents();
    EXPECT_EQ(destroyed, 3);
}

TEST_F(EventList, KeysDifferingOnlyInLetterCaseShareOneEntry) {
    TTestEventServer server;
    Unsorted(server);
    TZelkEvents& list = *server.Events();
    list.AddEvent(NewEvent(&server, QStringLiteral("Tank1"), QStringLiteral("LevelHigh")));
    list.AddEvent(NewEvent(&server, QStringLiteral("TANK1"), QStringLiteral("levelhigh")));
    list.AddEvent(NewEvent(&server, QStringLiteral("Ölpumpe"), QString()));
    list.AddEvent(NewEvent(&server, QStringLiteral("ÖLPUMPE"), QString()));
    ASSERT_EQ(list.KeyCount(), 2);
    EXPECT_EQ(KeysOf(list),
              (QStringList{QStringLiteral("Ölpumpe"), QStringLiteral("Tank1LevelHigh")}))
        << "the key text of the first notification stays";
    EXPECT_EQ(list.Objects(1)->Key(), QStringLiteral("TANK1levelhigh"));
    int index = -1;
    EXPECT_TRUE(list.Find(QStringLiteral("tank1LEVELHIGH"), index));
    EXPECT_EQ(index, 1);
    list.DeleteEvents();
}

TEST_F(EventList, EntriesStayInLocaleKeyOrder) {
    TTestEventServer server;
    Unsorted(server);
    TZelkEvents& list = *server.Events();
    for (const char* source : {"pump", "Zulauf", "tank2", "Äbfluss", "Tank10", "ablauf", "b"})
        list.AddEvent(NewEvent(&server, QString::fromUtf8(source), QString()));
    const QStringList keys = KeysOf(list);
    ASSERT_EQ(keys.size(), 7);
    for (qsizetype i = 1; i < keys.size(); ++i)
        EXPECT_LT(AnsiCompareText(keys[i - 1], keys[i]), 0) << keys[i - 1].toStdString();
    EXPECT_EQ(keys.first(), QStringLiteral("Äbfluss")) << "letters, not code points, decide";
    EXPECT_EQ(keys[1], QStringLiteral("ablauf"));

    int index = -1;
    EXPECT_FALSE(list.Find(QStringLiteral("c"), index));
    EXPECT_EQ(index, 3) << "the insertion point after b";
    for (int i = 0; i < list.KeyCount(); ++i)
        EXPECT_EQ(list.Objects(i)->Key(), keys[i]);
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(list.Events(0), list.Objects(0));
    EXPECT_EQ(MessageOf([&] { (void)list.Events(7); }),
              QStringLiteral("List index out of bounds (7)"));
    EXPECT_EQ(MessageOf([&] { (void)list.Events(-1); }),
              QStringLiteral("List index out of bounds (-1)"));

    TZelkEvent* pump = list.Objects(4);
    EXPECT_EQ(list.ById(pump->ID()), pump);
    EXPECT_EQ(list.ById(999), nullptr);
    list.DeleteEvents();

    // The user's locale decides: Swedish sorts Ä after Z.
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    TZelkEvents swedish;
    std::vector<std::unique_ptr<TZelkEvent>> events;
    for (const char* source : {"Äbfluss", "Zulauf", "ablauf"}) {
        events.emplace_back(NewEvent(&server, QString::fromUtf8(source), QString()));
        swedish.AddEvent(events.back().get());
    }
    EXPECT_EQ(KeysOf(swedish), (QStringList{QStringLiteral("ablauf"), QStringLiteral("Zulauf"),
                                            QStringLiteral("Äbfluss")}));
}

TEST_F(EventList, PutEventWritesIntoKeyOrderEvenWhenSorted) {
    TTestEventServer server;
    server.SetEventlistSort({QStringLiteral("Severity (D)")});
    TZelkEvents& list = *server.Events();
    const auto time = UtcFileTime(2024, 1, 1, 0, 0, 0);
    list.AddEvent(NewEvent(&server, QStringLiteral("A"), QString(), 0, time, 100));
    list.AddEvent(NewEvent(&server, QStringLiteral("B"), QString(), 0, time, 900));
    server.Resort();
    ASSERT_EQ(list.Events(0)->Source(), QStringLiteral("B"));

    std::unique_ptr<TZelkEvent> replaced(list.Objects(0));
    TZelkEvent* other = NewEvent(&server, QStringLiteral("Other"), QString(), 0, time, 1);
    list.PutEvent(0, other);
    EXPECT_EQ(list.Objects(0), other);
    EXPECT_EQ(list.Keys(0), QStringLiteral("A")) << "the key text stays";
    EXPECT_EQ(replaced->Source(), QStringLiteral("A")) << "the replaced event lives on";
    EXPECT_EQ(MessageOf([&] { list.PutEvent(2, other); }),
              QStringLiteral("List index out of bounds (2)"));

    // The view still holds the replaced event until the next Resort; destroying it now
    // takes it out of the view at once.
    EXPECT_EQ(list.Count(), 2);
    replaced.reset();
    EXPECT_EQ(list.Count(), 1);
    server.Resort();
    EXPECT_EQ(list.Events(0)->Source(), QStringLiteral("B"));
    EXPECT_EQ(list.Events(1), other);
    list.DeleteEvents();
}

TEST_F(EventList, DeleteEventsDestroysEveryEventWithoutHandlers) {
    TTestEventServer server;
    int destroyed = 0;
    int handled = 0;
    server.OnDeleteEvent = [&](TComponent*, TZelkEvent*) { ++handled; };
    TZelkEvents& list = *server.Events();
    for (const char* source : {"A", "B", "A", "C"})
        list.AddEvent(
            new TCountedEvent(&server, QString::fromLatin1(source), QString(), destroyed));
    server.Resort();
    ASSERT_EQ(list.Count(), 3);
    list.DeleteEvents();
    EXPECT_EQ(destroyed, 4) << "previous notifications included";
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(list.KeyCount(), 0);
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(EventList, AStaleViewNeverHandsOutADestroyedEvent) {
    TTestEventServer server; // sorted by Active (D), Time (D)
    TZelkEvents& list = *server.Events();
    int destroyed = 0;
    for (const char* source : {"A", "B", "C", "D"})
        list.AddEvent(
            new TCountedEvent(&server, QString::fromLatin1(source), QString(), destroyed));
    server.Resort();
    ASSERT_EQ(list.Count(), 4);
    TZelkEvent* oldA = list.Objects(0);

    // Within one batch: A is notified twice more, which pushes its oldest notification
    // (still in the view) out, and B is deleted as an auto-delete would.
    std::set<TZelkEvent*> seenByHandler;
    server.OnDeleteEvent = [&](TComponent*, TZelkEvent* event) {
        for (int i = 0; i < list.Count(); ++i)
            seenByHandler.insert(list.Events(i));
        EXPECT_TRUE(seenByHandler.count(event)) << "still alive while the handler runs";
    };
    list.AddEvent(NewEvent(&server, QStringLiteral("A"), QString()));
    list.AddEvent(NewEvent(&server, QStringLiteral("A"), QString()));
    EXPECT_EQ(destroyed, 1) << "the oldest A is gone";
    server.DeleteEvent(list.Objects(1));
    EXPECT_EQ(destroyed, 2);
    list.AddEvent(NewEvent(&server, QStringLiteral("E"), QString()));

    std::set<TZelkEvent*> live;
    for (int i = 0; i < list.KeyCount(); ++i) {
        live.insert(list.Objects(i));
        live.insert(list.Objects(i)->LastEvent());
    }
    ASSERT_EQ(list.Count(), 2) << "C and D; A's oldest and B left at once, E is not sorted yet";
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_NE(list.Events(i), oldA);
        EXPECT_TRUE(live.count(list.Events(i))) << "every event of the view is alive";
    }

    server.OnDeleteEvent = nullptr;
    server.Resort();
    EXPECT_EQ(list.Count(), 4);
    list.DeleteEvents();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(EventList, ATemporaryListHoldsEventsWithoutOwningThem) {
    TTestEventServer server;
    TZelkEvents& list = *server.Events();
    int destroyed = 0;
    for (const char* source : {"A", "B", "C"})
        list.AddEvent(
            new TCountedEvent(&server, QString::fromLatin1(source), QString(), destroyed));
    {
        TZelkEvents selection;
        selection.AddEvent(list.Objects(0));
        selection.AddEvent(list.Objects(2));
        selection.AddSortItem(QStringLiteral("Source"), true);
        selection.Resort();
        EXPECT_EQ(selection.Events(0)->Source(), QStringLiteral("C"));

        // An event destroyed elsewhere leaves the selection too.
        server.DeleteEvent(list.Objects(2));
        EXPECT_EQ(selection.KeyCount(), 1);
        EXPECT_EQ(selection.Count(), 1);
        EXPECT_EQ(selection.Events(0)->Source(), QStringLiteral("A"));
    }
    EXPECT_EQ(destroyed, 1) << "destroying the selection destroys no event";
    ASSERT_EQ(list.KeyCount(), 2);
    delete list.Objects(0);
    EXPECT_EQ(list.KeyCount(), 1);
    list.DeleteEvents();
    EXPECT_EQ(destroyed, 3);
}

TEST_F(EventList, AnEventWhoseKeyChangedStillLeavesItsEntry) {
    TTestEventServer server;
    Unsorted(server);
    TZelkEvents& list = *server.Events();
    list.AddEvent(NewEvent(&server, QStringLiteral("A"), QString()));
    list.AddEvent(NewEvent(&server, QStringLiteral("B"), QString()));
    TZelkEvent* a = list.Objects(0);
    a->SetKey(QStringLiteral("Z"));
    EXPECT_EQ(list.Keys(0), QStringLiteral("A"));
    delete a;
    EXPECT_EQ(KeysOf(list), QStringList{QStringLiteral("B")});
    EXPECT_EQ(MessageOf([&] { list.AddEvent(nullptr); }), QStringLiteral("Event is nil"));
    list.DeleteEvents();
}
