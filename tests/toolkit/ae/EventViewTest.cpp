// The sorted view kept in order batch by batch: after every batch it is the order that a
// full sort of the list gives, under every kind of sort key, and a batch reads the sort
// values of its own events only.

#include "AETestSupport.h"

#include <algorithm>
#include <random>

using namespace zelk::aetest;

namespace {

class EventView : public AETest {};

// The view as a full sort of the entries would make it: by the sort items, ties in key
// order.
std::vector<TZelkEvent*> FullSort(const TZelkEvents& list) {
    std::vector<TZelkEvent*> events;
    for (int i = 0; i < list.KeyCount(); ++i)
        events.push_back(list.Objects(i));
    std::stable_sort(events.begin(), events.end(), [&list](TZelkEvent* a, TZelkEvent* b) {
        return list.CompareEvents(a, b) < 0;
    });
    return events;
}

std::vector<TZelkEvent*> View(const TZelkEvents& list) {
    std::vector<TZelkEvent*> events;
    for (int i = 0; i < list.Count(); ++i)
        events.push_back(list.Events(i));
    return events;
}

void Deliver(TZelkEventServer& server, std::unique_ptr<TZelkEventBatch> batch) {
    TZelkMsg msg(MSG_EVENTS, 1, std::move(batch));
    server.HandleMsg(msg);
}

// Notifications of a small plant with few distinct values, so that later sort items and
// the key order decide often: repeated keys, letter-case twins, auto-deleted ones.
class TRandomPlant {
public:
    explicit TRandomPlant(unsigned seed) : FRandom(seed) {}

    std::unique_ptr<TZelkEventBatch> Batch(TZelkEventServer& server, int size) {
        static const QStringList sources{"tank",  "Tank",  "pump",  "Pump",   "valve",
                                         "Äpfel", "apfel", "mixer", "boiler", "Boiler"};
        static const QStringList conditions{"LEVEL", "level", "TRIP", ""};
        auto batch = std::make_unique<TZelkEventBatch>();
        for (int i = 0; i < size; ++i) {
            TNotification n;
            n.Source = sources[Pick(sources.size())] + QString::number(Pick(6));
            n.Condition = conditions[Pick(conditions.size())];
            n.Message = QStringLiteral("m%1").arg(Pick(3));
            n.NewState = static_cast<WORD>(Pick(8));
            n.AckRequired = Pick(2) ? TRUE : FALSE;
            n.ChangeMask = static_cast<WORD>(Pick(4) == 0 ? OPC_CHANGE_ACK_STATE : 0);
            n.Severity = static_cast<DWORD>(Pick(4) * 250);
            n.Time = Pick(6) == 0 ? FILETIME{} : UtcFileTime(2024, 1, 1, Pick(3), Pick(2), 0);
            batch->Events.push_back(std::make_unique<TZelkEvent>(&server, n.Record()));
        }
        return batch;
    }
    int Pick(qsizetype n) { return static_cast<int>(FRandom() % static_cast<unsigned>(n)); }

private:
    std::mt19937 FRandom;
};

} // namespace

TEST_F(EventView, AfterEveryBatchTheViewIsTheFullSortUnderEveryKindOfKey) {
    const QList<QStringList> configurations = {
        {"Active (D)", "Time (D)"},
        {"Source"},
        {"Severity", "Acknowledged", "Source (D)"},
        {"Time", "Enabled (D)", "Severity (D)", "Key"},
        {"ID (D)"},
        {"Msg", "ConditionName (D)", "Severity"},
    };
    for (const QStringList& lines : configurations) {
        SCOPED_TRACE(lines.join(u',').toStdString());
        TTestEventServer server;
        server.SetEventlistSort(lines);
        TZelkEvents& list = *server.Events();
        // Handlers inside the bracket read the view: it never hands out a destroyed event.
        server.OnDeleteEvent = [&list](TComponent*, TZelkEvent*) {
            for (int i = 0; i < list.Count(); ++i)
                ASSERT_GE(list.Events(i)->ID(), 1);
        };
        TRandomPlant plant(11);
        for (int round = 0; round < 150; ++round) {
            Deliver(server, plant.Batch(server, 1 + plant.Pick(round % 10 == 0 ? 80 : 12)));
            // Now and then an entry leaves by hand, as acknowledgement or the window does.
            if (round % 7 == 3 && list.KeyCount() > 0)
                server.DeleteEvent(list.Objects(plant.Pick(list.KeyCount())));
            if (round % 11 == 5 && list.KeyCount() > 1) {
                std::unique_ptr<TZelkEvent> taken = list.Extract(list.Objects(0));
                server.Resort();
                ASSERT_EQ(View(list), FullSort(list)) << "round " << round;
                continue; // taken goes here, outside the list
            }
            ASSERT_EQ(View(list), FullSort(list)) << "round " << round;
        }
        EXPECT_GT(list.KeyCount(), 20);
        list.DeleteEvents();
        EXPECT_EQ(list.Count(), 0);
    }
}

TEST_F(EventView, ABatchReadsTheSortValuesOfItsOwnEventsOnly) {
    TTestEventServer server;
    server.SetEventlistSort({QStringLiteral("Source"), QStringLiteral("Time (D)")});
    TZelkEvents& list = *server.Events();
    auto first = std::make_unique<TZelkEventBatch>();
    for (int i = 0; i < 2'000; ++i)
        first->Events.emplace_back(NewEvent(&server, QStringLiteral("Source%1").arg(i), QString()));
    Deliver(server, std::move(first));
    ASSERT_EQ(list.Count(), 2'000);
    const std::uint64_t afterFirst = list.SortValuesRead();
    EXPECT_EQ(afterFirst, 2'000u);

    // Ten notifications, some for keys already listed: ten reads, whatever the list holds.
    auto batch = std::make_unique<TZelkEventBatch>();
    for (int i = 0; i < 10; ++i)
        batch->Events.emplace_back(
            NewEvent(&server, QStringLiteral("Source%1").arg(i * 397), QString()));
    Deliver(server, std::move(batch));
    EXPECT_EQ(list.SortValuesRead(), afterFirst + 10);
    server.Resort();
    EXPECT_EQ(list.SortValuesRead(), afterFirst + 10) << "nothing changed: nothing read";
    ASSERT_EQ(View(list), FullSort(list));

    // New sort items sort everything again, once.
    ASSERT_EQ(list.KeyCount(), 2'004);
    server.SetEventlistSort({QStringLiteral("Severity")});
    EXPECT_EQ(list.SortValuesRead(), afterFirst + 10 + 2'004);
    list.DeleteEvents();
}

TEST_F(EventView, TextsThatCrowdOnePlaceKeepTheOrder) {
    // Each new source sorts just after the one before: the codes of the texts are given
    // anew again and again while the view holds rows of both sort orders.
    for (const QStringList& lines :
         {QStringList{QStringLiteral("Source")},
          QStringList{QStringLiteral("Msg"), QStringLiteral("Source (D)")}}) {
        SCOPED_TRACE(lines.join(u',').toStdString());
        TTestEventServer server;
        server.SetEventlistSort(lines);
        TZelkEvents& list = *server.Events();
        list.AddEvent(NewEvent(&server, QStringLiteral("n"), QString()));
        QString source = QStringLiteral("m");
        for (int i = 0; i < 200; ++i) {
            TNotification n;
            n.Source = source;
            n.Message = QStringLiteral("m%1").arg(i % 3);
            n.NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
            auto batch = std::make_unique<TZelkEventBatch>();
            batch->Events.push_back(std::make_unique<TZelkEvent>(&server, n.Record()));
            Deliver(server, std::move(batch));
            source += u'a';
            if (i % 50 == 49) {
                ASSERT_EQ(View(list), FullSort(list)) << i;
            }
        }
        ASSERT_EQ(View(list), FullSort(list));
        list.DeleteEvents();
    }
}

TEST_F(EventView, ThousandsOfEntriesStayInKeyOrderAsTheyComeAndGo) {
    TTestEventServer server;
    server.SetEventlistSort({QStringLiteral("Source (D)")});
    TZelkEvents& list = *server.Events();
    std::mt19937 random(3);
    std::vector<int> numbers(3'000);
    for (std::size_t i = 0; i < numbers.size(); ++i)
        numbers[i] = static_cast<int>(i);
    std::shuffle(numbers.begin(), numbers.end(), random);
    const auto source = [](int n) { return QStringLiteral("Area%1.Tag%2").arg(n % 37).arg(n); };
    const auto check = [&] {
        for (int i = 1; i < list.KeyCount(); ++i)
            ASSERT_LT(AnsiCompareText(list.Keys(i - 1), list.Keys(i)), 0) << "at " << i;
        for (int i = 0; i < list.KeyCount(); i += 97) {
            int index = -1;
            ASSERT_TRUE(list.Find(list.Keys(i).toUpper(), index));
            ASSERT_EQ(index, i);
        }
        server.Resort();
        ASSERT_EQ(View(list), FullSort(list));
    };
    for (int n : numbers)
        list.AddEvent(NewEvent(&server, source(n), QString()));
    check();
    // Two thirds leave in random order, then half of them come back.
    for (int k = 0; k < 2'000; ++k)
        server.DeleteEvent(list.Objects(static_cast<int>(random() % list.KeyCount())));
    ASSERT_EQ(list.KeyCount(), 1'000);
    check();
    for (int k = 0; k < 1'000; ++k)
        list.AddEvent(NewEvent(&server, source(numbers[static_cast<std::size_t>(k)]), QString()));
    check();
    EXPECT_GE(list.KeyCount(), 1'000);
    list.DeleteEvents();
    EXPECT_EQ(list.KeyCount(), 0);
}
