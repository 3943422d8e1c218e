// Filters as the operator edits and stores them: names, defaults, the event type mask, the
// text form and copying. Server traffic is covered by EventSubscriptionTest.cpp.

#include "AETestSupport.h"

#include <QBuffer>

using enum ZelkAEEnums::TZelkEventtype;

using namespace zelk::aetest;

namespace {

class EventFilter : public AETest {};

void ExpectSameValues(const TZelkEventFilter& actual, const TZelkEventFilter& expected) {
    EXPECT_EQ(actual.EventType(), expected.EventType());
    EXPECT_EQ(actual.SeverityLow(), expected.SeverityLow());
    EXPECT_EQ(actual.SeverityHigh(), expected.SeverityHigh());
    EXPECT_EQ(actual.Categories(), expected.Categories());
    EXPECT_EQ(actual.Areas(), expected.Areas());
    EXPECT_EQ(actual.Sources(), expected.Sources());
    EXPECT_EQ(actual.Name(), expected.Name());
    EXPECT_EQ(actual.Active(), expected.Active());
    EXPECT_EQ(actual.Tag(), expected.Tag());
}

// A filter with every published value away from its default.
TZelkEventFilter* AddEdited(TZelkEventFilters& filters) {
    TZelkEventFilter* filter = filters.Add();
    filter->SetEventType({evSimple, evTracking});
    filter->SetSeverityLow(10);
    filter->SetSeverityHigh(900);
    filter->SetCategories({QStringLiteral("Level"), QStringLiteral("Discrete")});
    filter->SetAreas({QStringLiteral("Plant1.TankFarm")});
    filter->SetSources({QStringLiteral("Plant1.PLC1"), QString()});
    filter->SetName(QStringLiteral("Operator's alarms"));
    filter->SetActive(false);
    filter->SetTag(7);
    return filter;
}

} // namespace

TEST_F(EventFilter, NewFiltersAreNumberedAndKeepTheirNameUntilGivenANonEmptyOne) {
    TZelkEventServer server;
    TZelkEventFilters& filters = *server.Filter();
    for (int i = 0; i < 3; ++i)
        filters.Add();
    EXPECT_EQ(filters.Items(2)->Name(), QStringLiteral("Filter_3"));
    filters.Delete(0);
    EXPECT_EQ(filters.Add()->Name(), QStringLiteral("Filter_3")) << "names may repeat";

    TZelkEventFilter* filter = filters.Items(0);
    EXPECT_EQ(filter->OPCServer(), &server);
    EXPECT_EQ(filter->SeverityLow(), 0);
    EXPECT_EQ(filter->SeverityHigh(), 1000);
    EXPECT_TRUE(filter->Active());
    EXPECT_EQ(filter->Subscriptor(), nullptr);
    filter->SetName(QString());
    EXPECT_EQ(filter->DisplayName(), QStringLiteral("Filter_2"));
    filter->SetName(QStringLiteral("  \t"));
    EXPECT_EQ(filter->DisplayName(), QStringLiteral("TZelkEventFilter"));

    EXPECT_EQ(filter->EventTypeMask(), 7u) << "the empty set means every type";
    filter->SetEventType({evSimple});
    EXPECT_EQ(filter->EventTypeMask(), OPC_SIMPLE_EVENT);
    filter->SetEventType({evCondition});
    EXPECT_EQ(filter->EventTypeMask(), OPC_CONDITION_EVENT);
    filter->SetEventType({evTracking, evSimple});
    EXPECT_EQ(filter->EventTypeMask(), OPC_TRACKING_EVENT | OPC_SIMPLE_EVENT);
}

TEST_F(EventFilter, TheCollectionRoundTripsThroughTheServersTextFormAndCopies) {
    TZelkEventServer server;
    const TZelkEventFilter* edited = AddEdited(*server.Filter());
    server.Filter()->Add();

    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    server.SaveToStream(stream);
    const QByteArray text = stream.data();
    EXPECT_TRUE(text.contains("EventType = [evSimple, evTracking]")) << text.toStdString();
    EXPECT_EQ(text.count("SeverityHigh"), 1) << "the default 1000 is not written";

    TZelkEventServer loaded;
    loaded.Filter()->Add()->SetName(QStringLiteral("replaced"));
    stream.seek(0);
    loaded.LoadFromStream(stream);
    ASSERT_EQ(loaded.Filter()->Count(), 2);
    ExpectSameValues(*loaded.Filter()->Items(0), *edited);
    ExpectSameValues(*loaded.Filter()->Items(1), *server.Filter()->Items(1));

    loaded.Filter()->SetItems(1, loaded.Filter()->Items(0));
    ExpectSameValues(*loaded.Filter()->Items(1), *edited);
    EXPECT_EQ(MessageOf([&] { loaded.Filter()->SetItems(2, nullptr); }),
              QStringLiteral("List index out of bounds (2)"));
}

TEST_F(EventFilter, StoredEventTypeNamesReadBackAsTheEventTypesTheyName) {
    // Each stored name alone, so a name read as another type's bit cannot hide.
    const std::pair<const char*, TZelkEventtype> cases[] = {
        {"evSimple", evSimple}, {"evCondition", evCondition}, {"evTracking", evTracking}};
    for (const auto& [name, type] : cases) {
        TZelkEventServer server;
        server.Filter()->Add()->SetEventType({type});
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        server.SaveToStream(stream);
        EXPECT_TRUE(stream.data().contains(QByteArray("EventType = [") + name + ']')) << name;

        TZelkEventServer loaded;
        stream.seek(0);
        loaded.LoadFromStream(stream);
        ASSERT_EQ(loaded.Filter()->Count(), 1);
        EXPECT_EQ(loaded.Filter()->Items(0)->EventType(), tZelkEventtypes{type}) << name;
    }
}

TEST_F(EventFilter, RefreshNeedsAConnectionAndDoesNothingWhileDesigned) {
    TLeakCheck leaks;
    TZelkEventServer server;
    TZelkEventFilters& filters = *server.Filter();
    filters.Refresh();
    EXPECT_EQ(filters.Count(), 0) << "no default filter without a connection";

    filters.Add();
    EXPECT_EQ(MessageOf([&] { filters.Refresh(); }),
              QStringLiteral("can not create a event subscription"));
    EXPECT_EQ(filters.UpdateCount(), 0) << "the update bracket is closed after a failure";
    EXPECT_EQ(filters.Items(0)->Subscriptor(), nullptr);

    server.SetDesigning(true);
    EXPECT_EQ(MessageOf([&] { filters.Refresh(); }), QStringLiteral("<no exception>"));
}
