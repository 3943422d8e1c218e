#include "ComTestObjects.h"
#include "connpoint.h"

#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>

using namespace zelk::com;

namespace {

// A server with an unlimited ITestCounter point and an ITestDog point for one sink.
class TTestServer : public ComObject<TTestServer, ITestAnimal, IConnectionPointContainer> {
public:
    explicit TTestServer(std::atomic<bool>* destroyed = nullptr)
        : Counters(FPoints.Add(IID_ITestCounter)), Dogs(FPoints.Add(IID_ITestDog, 1)),
          FDestroyed(destroyed) {}
    ~TTestServer() override {
        if (FDestroyed)
            *FDestroyed = true;
    }

    int STDMETHODCALLTYPE Legs() override { return 0; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        return FPoints.EnumConnectionPoints(ppEnum);
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        return FPoints.FindConnectionPoint(riid, ppCP);
    }

private:
    ConnectionPointContainer FPoints{this};

public:
    ConnectionPoint& Counters;
    ConnectionPoint& Dogs;

private:
    std::atomic<bool>* FDestroyed;
};

// Has neither outgoing interface.
class TTestCat : public ComObject<TTestCat, ITestAnimal> {
public:
    int STDMETHODCALLTYPE Legs() override { return 4; }
};

// Counts calls that arrive at a sink already destroyed: only the sink's address is used.
std::mutex gLiveMutex;
std::set<const void*> gLiveSinks;
std::atomic<int> gCallsOnDeadSinks = 0;

class TTrackedSink : public ComObject<TTrackedSink, ITestCounter> {
public:
    TTrackedSink() {
        std::lock_guard lock(gLiveMutex);
        gLiveSinks.insert(this);
    }
    ~TTrackedSink() override {
        std::lock_guard lock(gLiveMutex);
        gLiveSinks.erase(this);
    }
    HRESULT STDMETHODCALLTYPE Tick(int) override {
        std::lock_guard lock(gLiveMutex);
        if (!gLiveSinks.contains(this))
            ++gCallsOnDeadSinks;
        return S_OK;
    }
};

// Unadvises itself during its call; by then the point holds it no more.
class TSelfUnadvisingSink : public ComObject<TSelfUnadvisingSink, ITestCounter> {
public:
    explicit TSelfUnadvisingSink(std::atomic<bool>* destroyed) : FDestroyed(destroyed) {}
    ~TSelfUnadvisingSink() override { *FDestroyed = true; }
    HRESULT STDMETHODCALLTYPE Tick(int) override {
        UnadviseResult = Point->Unadvise(Cookie);
        AliveAfterUnadvise = !*FDestroyed;
        return S_OK;
    }
    ConnectionPoint* Point = nullptr;
    DWORD Cookie = 0;
    HRESULT UnadviseResult = E_FAIL;
    bool AliveAfterUnadvise = false;

private:
    std::atomic<bool>* FDestroyed;
};

} // namespace

TEST(ConnectionPoint, AdviseAndUnadviseRules) {
    ComLeakCheck leaks;
    {
        ComPtr<TTestServer> server = TTestServer::Create();
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(server->FindConnectionPoint(IID_ITestOther, point.Put()), CONNECT_E_NOCONNECTION);
        EXPECT_FALSE(point);
        ASSERT_EQ(server->FindConnectionPoint(IID_ITestCounter, point.Put()), S_OK);
        IID iid{};
        EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
        EXPECT_EQ(iid, IID_ITestCounter);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(point->GetConnectionPointContainer(container.Put()), S_OK);
        ComPtr<IUnknown> identity;
        container->QueryInterface(IID_IUnknown, identity.PutVoid());
        EXPECT_EQ(identity.Get(), server->GetUnknown());

        DWORD cookie = 77;
        EXPECT_EQ(point->Advise(TTestCat::Create()->GetUnknown(), &cookie),
                  CONNECT_E_CANNOTCONNECT);
        EXPECT_EQ(cookie, 0u);
        DWORD first = 0, second = 0;
        ASSERT_EQ(point->Advise(TTestDog::Create()->GetUnknown(), &first), S_OK);
        ASSERT_EQ(point->Advise(TTestDog::Create()->GetUnknown(), &second), S_OK);
        EXPECT_NE(first, 0u);
        EXPECT_NE(first, second);
        EXPECT_EQ(server->Counters.SinkCount(), 2u);
        EXPECT_EQ(point->Unadvise(first), S_OK);
        EXPECT_EQ(point->Unadvise(first), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);

        // The dog point takes one sink; a refused sink is not kept.
        ASSERT_EQ(server->Dogs.Advise(TTestDog::Create()->GetUnknown(), &cookie), S_OK);
        std::atomic<bool> refusedGone = false;
        EXPECT_EQ(server->Dogs.Advise(TTestDog::Create(&refusedGone)->GetUnknown(), &cookie),
                  CONNECT_E_ADVISELIMIT);
        EXPECT_TRUE(refusedGone);
    }
}

TEST(ConnectionPoint, APointKeepsItsServerAliveWithoutACycle) {
    ComLeakCheck leaks;
    std::atomic<bool> serverGone = false, sinkGone = false;
    ComPtr<IConnectionPoint> point;
    {
        ComPtr<TTestServer> server = TTestServer::Create(&serverGone);
        server->FindConnectionPoint(IID_ITestCounter, point.Put());
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(TTestDog::Create(&sinkGone)->GetUnknown(), &cookie), S_OK);
    }
    EXPECT_FALSE(serverGone);
    point = nullptr;
    EXPECT_TRUE(serverGone);
    EXPECT_TRUE(sinkGone);
}

TEST(ConnectionPoint, EnumeratesConnectionsAndPointsWithCountedReferences) {
    ComLeakCheck leaks;
    {
        ComPtr<TTestServer> server = TTestServer::Create();
        ComPtr<TTestDog> sink = TTestDog::Create();
        DWORD cookie = 0;
        ASSERT_EQ(server->Counters.Advise(sink->GetUnknown(), &cookie), S_OK);
        ComPtr<IEnumConnections> connections;
        ASSERT_EQ(server->Counters.EnumConnections(connections.Put()), S_OK);
        server->Counters.UnadviseAll();
        CONNECTDATA data[2] = {};
        ULONG fetched = 0;
        EXPECT_EQ(connections->Next(2, data, &fetched), S_FALSE);
        ASSERT_EQ(fetched, 1u);
        EXPECT_EQ(data[0].dwCookie, cookie);
        ComPtr<IUnknown> a, b; // the enumerated sink is the advised object
        data[0].pUnk->QueryInterface(IID_IUnknown, a.PutVoid());
        EXPECT_EQ(a.Get(), sink->GetUnknown());
        data[0].pUnk->Release();

        ComPtr<IEnumConnectionPoints> points;
        ASSERT_EQ(server->EnumConnectionPoints(points.Put()), S_OK);
        IConnectionPoint* found[3] = {};
        EXPECT_EQ(points->Next(3, found, &fetched), S_FALSE);
        ASSERT_EQ(fetched, 2u);
        IID iid{};
        found[1]->GetConnectionInterface(&iid);
        EXPECT_EQ(iid, IID_ITestDog);
        found[0]->Release();
        found[1]->Release();
    }
}

TEST(ConnectionPoint, SinkUnadvisedDuringItsOwnCallLivesUntilItReturns) {
    ComLeakCheck leaks;
    ComPtr<TTestServer> server = TTestServer::Create();
    std::atomic<bool> destroyed = false;
    TSelfUnadvisingSink* sink = nullptr;
    {
        ComPtr<TSelfUnadvisingSink> created = TSelfUnadvisingSink::Create(&destroyed);
        sink = created.Get();
        sink->Point = &server->Counters;
        ASSERT_EQ(server->Counters.Advise(sink->GetUnknown(), &sink->Cookie), S_OK);
    } // from here only the point holds the sink
    HRESULT unadvised = E_FAIL;
    bool alive = false;
    server->Counters.ForEachSink<ITestCounter>([&](ITestCounter* s) {
        s->Tick(1);
        unadvised = sink->UnadviseResult;
        alive = sink->AliveAfterUnadvise;
    });
    EXPECT_EQ(unadvised, S_OK);
    EXPECT_TRUE(alive);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(server->Counters.SinkCount(), 0u);
}

TEST(ConnectionPoint, SurvivesConcurrentAdviseUnadviseAndFire) {
    ComLeakCheck leaks;
    gCallsOnDeadSinks = 0;
    {
        ComPtr<TTestServer> server = TTestServer::Create();
        std::mutex poolMutex;
        std::vector<DWORD> pool; // cookies any thread may unadvise
        std::atomic<int> failures = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 1000; ++i) {
                    switch ((i + t) % 3) {
                    case 0: {
                        DWORD cookie = 0;
                        if (server->Counters.Advise(TTrackedSink::Create()->GetUnknown(),
                                                    &cookie) != S_OK)
                            ++failures;
                        std::lock_guard lock(poolMutex);
                        pool.push_back(cookie);
                        break;
                    }
                    case 1: {
                        DWORD cookie = 0;
                        {
                            std::lock_guard lock(poolMutex);
                            if (pool.empty())
                                break;
                            cookie = pool.back();
                            pool.pop_back();
                        }
                        if (server->Counters.Unadvise(cookie) != S_OK)
                            ++failures;
                        break;
                    }
                    default:
                        server->Counters.ForEachSink<ITestCounter>(
                            [](ITestCounter* sink) { sink->Tick(1); });
                    }
                }
            });
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(server->Counters.SinkCount(), pool.size());
        for (DWORD cookie : pool)
            EXPECT_EQ(server->Counters.Unadvise(cookie), S_OK);
    }
    EXPECT_EQ(gCallsOnDeadSinks, 0);
}
