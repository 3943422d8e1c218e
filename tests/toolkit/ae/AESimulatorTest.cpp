// The event server's connection and caches against the simulated AE server, reached
// through the COM transport.

#include "AETestSupport.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;
using zelk::aesim::TSimClassOptions;

namespace {

const QString SimProgId = QStringLiteral("Zelk.AESimulator.1");

class TSimEventServer : public TZelkEventServer {
public:
    TZelkCOMAEConnection* Connection() const { return FConnection; }
};

class AESimulator : public ::testing::Test {
protected:
    AESimulator() { RegisterZelkCOMLink(); }
    zelk::testing::TScopedConnectionRegistry Registry;
};

QStringList NamesOf(const TZelkEventItems& items) {
    QStringList names;
    items.NamesToStrings(names);
    return names;
}

// The categories of the plant in the order the client reads them: simple, condition,
// tracking, each group in the server's order.
std::vector<zelk::aesim::TSimCategoryInfo>
ExpectedCategories(const zelk::aesim::TSimPlantModel& plant) {
    std::vector<zelk::aesim::TSimCategoryInfo> expected;
    for (DWORD type : {OPC_SIMPLE_EVENT, OPC_CONDITION_EVENT, OPC_TRACKING_EVENT})
        for (const auto& category : plant.Categories)
            if (category.EventType == type)
                expected.push_back(category);
    return expected;
}

QStringList ConditionsOf(const zelk::aesim::TSimPlantModel& plant, DWORD category) {
    QStringList names;
    for (const auto& condition : plant.Conditions)
        if (condition.CategoryId == category)
            names << condition.Name;
    return names;
}

} // namespace

TEST_F(AESimulator, CategoriesAttributesAndConditionsAreReadOncePerConnection) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TSimEventServer server;
    server.Connect(SimProgId, QString());
    ASSERT_TRUE(server.Active());
    ASSERT_NE(server.GetOPCEventServer(), nullptr);

    const auto expected = ExpectedCategories(sim->Plant());
    const TZelkEventItems& categories = *server.Categories();
    ASSERT_EQ(static_cast<std::size_t>(categories.Count()), expected.size());
    for (int i = 0; i < categories.Count(); ++i) {
        const TZelkEventItem& category = *categories.Items(i);
        const auto& model = expected[static_cast<std::size_t>(i)];
        EXPECT_EQ(static_cast<DWORD>(category.Id), model.Id);
        EXPECT_EQ(category.Name, model.Description);
        EXPECT_EQ(category.IType, model.EventType);
        ASSERT_EQ(static_cast<std::size_t>(category.Items->Count()), model.Attributes.size());
        for (int a = 0; a < category.Items->Count(); ++a) {
            const TZelkEventItem& attribute = *category.Items->Items(a);
            EXPECT_EQ(static_cast<DWORD>(attribute.Id),
                      model.Attributes[static_cast<std::size_t>(a)].Id);
            EXPECT_EQ(attribute.Name, model.Attributes[static_cast<std::size_t>(a)].Description);
            EXPECT_EQ(attribute.DataType, model.Attributes[static_cast<std::size_t>(a)].Type);
            EXPECT_EQ(attribute.IType, static_cast<WORD>(model.Id));
        }
    }

    QStringList conditionNames;
    for (const auto& category : expected)
        conditionNames << ConditionsOf(sim->Plant(), category.Id);
    const TZelkEventItems& conditions = *server.Conditions();
    EXPECT_EQ(NamesOf(conditions), conditionNames);
    for (int i = 0; i < conditions.Count(); ++i) {
        const TZelkEventItem& condition = *conditions.Items(i);
        const auto& model =
            sim->Plant()
                .Conditions[static_cast<std::size_t>(sim->Plant().FindCondition(condition.Name))];
        EXPECT_EQ(condition.IType, static_cast<WORD>(model.CategoryId));
        EXPECT_EQ(condition.Id,
                  ConditionsOf(sim->Plant(), model.CategoryId).indexOf(condition.Name));
        QStringList subConditions;
        for (const auto& sub : model.SubConditions)
            subConditions << sub.Name;
        EXPECT_EQ(NamesOf(*condition.Items), subConditions) << condition.Name.toStdString();
        for (int k = 0; k < condition.Items->Count(); ++k) {
            EXPECT_EQ(condition.Items->Items(k)->Id, k);
            EXPECT_EQ(condition.Items->Items(k)->IType, 0);
        }
    }

    // Cached: a server that no longer answers the queries changes nothing until the next
    // connect drops the caches.
    sim->Faults().InjectResult("IOPCEventServer::QueryEventCategories", E_FAIL,
                               zelk::aesim::TSimFaults::Always);
    sim->Faults().InjectResult("IOPCEventServer::QueryConditionNames", E_FAIL,
                               zelk::aesim::TSimFaults::Always);
    EXPECT_EQ(static_cast<std::size_t>(server.Categories()->Count()), expected.size());
    EXPECT_EQ(NamesOf(*server.Conditions()), conditionNames);
    server.Disconnect();
    server.Connect(SimProgId, QString());
    EXPECT_EQ(server.Categories()->Count(), 0);
    EXPECT_EQ(server.Conditions()->Count(), 0);
    sim->Faults().ClearInjections();
    server.Disconnect();
    EXPECT_EQ(server.GetOPCEventServer(), nullptr);
    EXPECT_EQ(server.Connection(), nullptr);
}

TEST_F(AESimulator, AFailingCategoryQueryLeavesAPartialCache) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TSimEventServer server;
    // The attributes of the first simple category cannot be read: the simple categories
    // stay, without attributes, and the condition and tracking ones are never asked for.
    // (Connecting reads the categories to select the returned attributes.)
    sim->Faults().InjectResult("IOPCEventServer::QueryEventAttributes", E_FAIL);
    server.Connect(SimProgId, QString());
    const auto expected = ExpectedCategories(sim->Plant());
    const TZelkEventItems& categories = *server.Categories();
    ASSERT_GT(categories.Count(), 0);
    for (int i = 0; i < categories.Count(); ++i) {
        EXPECT_EQ(categories.Items(i)->IType, OPC_SIMPLE_EVENT);
        EXPECT_EQ(categories.Items(i)->Items->Count(), 0);
    }

    // A failing category query itself leaves an empty cache until the next connect.
    server.Disconnect();
    sim->Faults().InjectResult("IOPCEventServer::QueryEventCategories", E_FAIL);
    server.Connect(SimProgId, QString());
    EXPECT_EQ(server.Categories()->Count(), 0);
    EXPECT_EQ(server.Conditions()->Count(), 0);
    server.Disconnect();
    server.Connect(SimProgId, QString());
    EXPECT_EQ(static_cast<std::size_t>(server.Categories()->Count()), expected.size());
    server.Disconnect();
}

TEST_F(AESimulator, ConditionNamesFailingForOneCategoryLeaveOnlyThatOneOut) {
    TLeakCheck leaks;
    TSimClassOptions options;
    options.Capabilities.FailingConditionNamesCategory = zelk::aesim::CatDeviation;
    TScopedAESimulator sim(options);
    TSimEventServer server;
    server.Connect(SimProgId, QString());
    QStringList expected;
    for (const auto& category : ExpectedCategories(sim->Plant()))
        if (category.Id != zelk::aesim::CatDeviation)
            expected << ConditionsOf(sim->Plant(), category.Id);
    ASSERT_FALSE(ConditionsOf(sim->Plant(), zelk::aesim::CatDeviation).isEmpty());
    EXPECT_EQ(NamesOf(*server.Conditions()), expected);
    server.Disconnect();

    // Any answer but S_OK counts as none, S_FALSE included.
    server.Connect(SimProgId, QString());
    sim->Faults().InjectResult("IOPCEventServer::QuerySubConditionNames", S_FALSE,
                               zelk::aesim::TSimFaults::Always);
    ASSERT_GT(server.Conditions()->Count(), 0);
    for (int i = 0; i < server.Conditions()->Count(); ++i)
        EXPECT_EQ(server.Conditions()->Items(i)->Items->Count(), 0);
    server.Disconnect();
}

TEST_F(AESimulator, SourceConditionsAreAskedForEachTime) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TSimEventServer server;
    server.Connect(SimProgId, QString());
    const zelk::aesim::TSimSourceDef& source = sim->Plant().Sources.front();
    QStringList expected;
    for (const auto& condition : source.Conditions)
        expected << sim->Plant().Conditions[static_cast<std::size_t>(condition.Definition)].Name;
    QStringList names;
    server.QuerySourceConditions(source.Name, names);
    EXPECT_EQ(names, expected);
    sim->Faults().InjectResult("IOPCEventServer::QuerySourceConditions", E_FAIL);
    server.QuerySourceConditions(source.Name, names);
    EXPECT_TRUE(names.isEmpty()) << "asked again, and the failure answers empty";
    server.QuerySourceConditions(source.Name, names);
    EXPECT_EQ(names, expected);
    server.QuerySourceConditions(QStringLiteral("No.Such.Source"), names);
    EXPECT_TRUE(names.isEmpty());
    server.Disconnect();
    names << QStringLiteral("stale");
    server.QuerySourceConditions(source.Name, names);
    EXPECT_TRUE(names.isEmpty()) << "no connection: empty";
}

TEST_F(AESimulator, StatusAndKeepAliveProbe) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TSimEventServer server;
    server.Connect(SimProgId, QString());
    TZelkCOMAEConnection& connection = *server.Connection();
    const OPCEVENTSERVERSTATUS status = connection.GetStatus();
    EXPECT_EQ(status.dwServerState, OPCAE_STATUS_RUNNING);
    EXPECT_EQ(status.szVendorInfo, nullptr) << "the vendor text is not handed out";
    EXPECT_TRUE(connection.DoTimer());

    sim->Faults().OmitRecord("IOPCEventServer::GetStatus");
    EXPECT_EQ(MessageOf([&] { connection.GetStatus(); }),
              QStringLiteral("Not connected to server"));
    sim->Faults().InjectResult("IOPCEventServer::GetStatus", E_FAIL);
    EXPECT_NE(MessageOf([&] { connection.GetStatus(); }), QStringLiteral("<no exception>"));
    sim->Faults().StopAnswering();
    EXPECT_FALSE(connection.DoTimer());
    sim->Faults().ResumeAnswering();
    EXPECT_TRUE(connection.DoTimer());
    server.Disconnect();

    // Through the component's keep-alive timer: a server that stops answering ends the
    // connection.
    server.SetKeepAlive(500);
    int timeouts = 0;
    server.OnTimeout = [&](TComponent*) { ++timeouts; };
    server.Connect(SimProgId, QString());
    sim->Faults().StopAnswering();
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return !server.Active(); }, std::chrono::seconds(10)));
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(server.Connection(), nullptr);
    sim->Faults().ResumeAnswering();
}

TEST_F(AESimulator, AConnectionWithoutAServerOrItsInterfaceAnswersPlainly) {
    TLeakCheck leaks;
    TSimEventServer owner;
    auto unconnected = TZelkCOMAEConnection::Create(&owner);
    EXPECT_EQ(unconnected->OPCServer(), nullptr);
    EXPECT_EQ(MessageOf([&] { unconnected->GetStatus(); }),
              QStringLiteral("Not connected to server"));
    EXPECT_FALSE(unconnected->DoTimer());

    // A registered class whose objects are no AE servers.
    const CLSID bareClass = ZelkGuid("0D7E55A1-62C4-4B8E-9C71-2F4A3B5C6D7E");
    zelk::com::ClassRegistration registration;
    registration.Clsid = bareClass;
    registration.ProgID = QStringLiteral("Zelk.NotAnEventServer.1");
    registration.Factory =
        zelk::com::MakeClassFactory([] { return zelk::com::MakeEnumString(QStringList()); });
    zelk::com::ScopedClassRegistration registered(std::move(registration));
    auto bare = TZelkCOMAEConnection::Create(&owner);
    bare->Connect(QString(), QStringLiteral("Zelk.NotAnEventServer.1"), QString(), {}, 0);
    EXPECT_EQ(MessageOf([&] { bare->OPCServer(); }), QStringLiteral("Interface not supported"));
    EXPECT_FALSE(bare->DoTimer());
    bare->Disconnect();
}
