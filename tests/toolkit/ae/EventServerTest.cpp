#include "AETestSupport.h"

#include <algorithm>
#include <thread>

using namespace zelk::aetest;

namespace {

class EventServer : public AETest {};

QStringList NamesOf(const TZelkEventItems& items) {
    QStringList names;
    items.NamesToStrings(names);
    return names;
}

} // namespace

TEST_F(EventServer, IdsRunFromOneToTheLastAndStartAgain) {
    TTestEventServer server(TFakeEventServer::Create());
    EXPECT_EQ(server.NextEventId(), 1);
    EXPECT_EQ(server.NextEventId(), 2);
    server.SetGlobalId(2147483645);
    EXPECT_EQ(server.NextEventId(), 2147483646);
    EXPECT_EQ(server.NextEventId(), 1) << "0 and 2147483647 are never handed out";
    server.SetActive(true);
    EXPECT_EQ(server.NextEventId(), 1) << "a connect starts again";
    server.SetActive(false);
}

TEST_F(EventServer, IdsDrawnFromManyThreadsAreUnique) {
    TTestEventServer server;
    constexpr int threads = 4;
    constexpr int perThread = 50000;
    server.SetGlobalId(2147483646 - threads * perThread / 2); // the wrap happens meanwhile
    std::vector<std::vector<int>> drawn(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            drawn[static_cast<std::size_t>(t)].reserve(perThread);
            for (int i = 0; i < perThread; ++i)
                drawn[static_cast<std::size_t>(t)].push_back(server.NextEventId());
        });
    for (std::thread& worker : workers)
        worker.join();
    std::vector<int> all;
    for (const auto& ids : drawn)
        all.insert(all.end(), ids.begin(), ids.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "an id came twice";
    EXPECT_EQ(all.front(), 1);
    EXPECT_EQ(all.back(), 2147483646);
    EXPECT_EQ(std::count(all.begin(), all.end(), 0), 0);
}

TEST_F(EventServer, TheUpdateBracketFiresOncePerOutermostPair) {
    TTestEventServer server;
    QStringList calls;
    server.OnBeginUpdate = [&](TComponent* sender) {
        EXPECT_EQ(sender, &server);
        calls << QStringLiteral("begin");
    };
    server.OnEndUpdate = [&](TComponent*) { calls << QStringLiteral("end"); };
    for (int i = 0; i < 3; ++i)
        server.BeginUpdate();
    EXPECT_EQ(calls, QStringList{QStringLiteral("begin")});
    for (int i = 0; i < 3; ++i)
        server.EndUpdate();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("begin"), QStringLiteral("end")}));
    server.EndUpdate(); // unmatched: the counter goes below 0 and nothing fires
    server.BeginUpdate();
    server.EndUpdate();
    EXPECT_EQ(calls.size(), 2);
}

TEST_F(EventServer, ConnectAndDisconnectEmptyTheListAndDropTheCaches) {
    TLeakCheck leaks;
    auto fake = TFakeEventServer::Create();
    fake->ScriptPlant();
    TTestEventServer server(fake);
    EXPECT_EQ(server.Categories()->Count(), 0) << "read before any connection";
    EXPECT_EQ(server.GetOPCEventServer(), nullptr);
    server.Events()->AddEvent(NewEvent(&server, QStringLiteral("Tank1"), QString()));

    server.SetActive(true);
    EXPECT_EQ(server.Events()->KeyCount(), 0);
    EXPECT_EQ(server.Categories()->Count(), 5) << "the empty cache was dropped";
    server.Events()->AddEvent(NewEvent(&server, QStringLiteral("Tank1"), QString()));
    const std::uint32_t generation = server.CategoriesGeneration();
    server.SetActive(false);
    EXPECT_EQ(server.Events()->KeyCount(), 0);
    EXPECT_NE(server.CategoriesGeneration(), generation);
    EXPECT_EQ(server.Categories()->Count(), 0);
    EXPECT_EQ(server.GetOPCEventServer(), nullptr);
}

TEST_F(EventServer, ItemListsSearchAndOwnTheirItems) {
    TZelkEventItems items;
    items.Add(std::make_unique<TZelkEventItem>(5, WORD(1), QStringLiteral("Five")));
    items.Add(std::make_unique<TZelkEventItem>(7, WORD(1), QStringLiteral("Seven")));
    items.Add(std::make_unique<TZelkEventItem>(5, WORD(1), QStringLiteral("five")));
    EXPECT_EQ(items.ById(5)->Name, QStringLiteral("Five")) << "the first match";
    EXPECT_EQ(items.ById(6), nullptr);
    EXPECT_EQ(items.IndexOf(QStringLiteral("five")), 2) << "names match exactly";
    EXPECT_EQ(items.IndexOf(QStringLiteral("FIVE")), -1);
    EXPECT_EQ(items.ByName(QStringLiteral("Seven"))->Id, 7);
    EXPECT_EQ(MessageOf([&] { (void)items.Items(3); }),
              QStringLiteral("List index out of bounds (3)"));

    items.Items(1)->Items->Add(std::make_unique<TZelkEventItem>(0, WORD(0), QStringLiteral("sub")));
    std::unique_ptr<TZelkEventItem> old =
        items.PutItems(1, std::make_unique<TZelkEventItem>(8, WORD(1), QStringLiteral("Eight")));
    EXPECT_EQ(old->Name, QStringLiteral("Seven")) << "handed back, not destroyed";
    EXPECT_EQ(old->Items->Count(), 1);
    EXPECT_EQ(NamesOf(items), (QStringList{"Five", "Eight", "five"}));
    items.Clear();
    EXPECT_EQ(items.Count(), 0);
}
