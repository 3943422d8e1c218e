#include "AETestSupport.h"
#include "TestSupport.h"

#include <limits>

using namespace zelk::aetest;
using zelk::com::ComVariant;

namespace {

class EventRecord : public AETest {};

// An event that counts its destructions.
class TCountedEvent : public TZelkEvent {
public:
    TCountedEvent(TZelkEventServer* server, ONEVENTSTRUCT& record, int& destroyed)
        : TZelkEvent(server, record), Destroyed(destroyed) {}
    ~TCountedEvent() override { ++Destroyed; }
    int& Destroyed;
};

ComVariant IntArray(std::initializer_list<LONG> values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size()));
    LONG index = 0;
    for (LONG value : values) {
        SafeArrayPutElement(array, &index, &value);
        ++index;
    }
    VARIANT holder;
    VariantInit(&holder);
    holder.vt = VT_ARRAY | VT_I4;
    holder.parray = array;
    ComVariant result;
    result.Attach(holder);
    return result;
}

} // namespace

TEST_F(EventRecord, KeyIsTheSourceFollowedByTheCondition) {
    TTestEventServer server;
    std::unique_ptr<TZelkEvent> simple(NewEvent(&server, QStringLiteral("Tank1"), QString()));
    std::unique_ptr<TZelkEvent> condition(
        NewEvent(&server, QStringLiteral("Tank1"), QStringLiteral("Level")));
    std::unique_ptr<TZelkEvent> ab(NewEvent(&server, QStringLiteral("AB"), QStringLiteral("C")));
    std::unique_ptr<TZelkEvent> a(NewEvent(&server, QStringLiteral("A"), QStringLiteral("BC")));
    EXPECT_EQ(simple->Key(), QStringLiteral("Tank1"));
    EXPECT_EQ(condition->Key(), QStringLiteral("Tank1Level"));
    EXPECT_EQ(ab->Key(), a->Key());
}

TEST_F(EventRecord, FieldsAreCopiedFromTheRecord) {
    TTestEventServer server;
    TNotification n;
    n.Source = QStringLiteral("Area1.Tank1");
    n.Message = QStringLiteral("Level high");
    n.Condition = QStringLiteral("LevelHigh");
    n.Subcondition = QStringLiteral("HI");
    n.Actor = QStringLiteral("operator");
    n.ChangeMask = OPC_CHANGE_ACK_STATE | OPC_CHANGE_ACTIVE_STATE;
    n.NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED;
    n.EventType = OPC_CONDITION_EVENT;
    n.Category = 10;
    n.Severity = 750;
    n.Quality = OPC_QUALITY_LOCAL_OVERRIDE;
    n.Cookie = 0xFFFFFFF0;
    n.AckRequired = 2;
    n.ActiveTime = {5, 7};
    const TZelkEvent event(&server, n.Record());

    EXPECT_EQ(event.Source(), QStringLiteral("Area1.Tank1"));
    EXPECT_EQ(event.Msg(), QStringLiteral("Level high"));
    EXPECT_EQ(event.ConditionName(), QStringLiteral("LevelHigh"));
    EXPECT_EQ(event.SubconditionName(), QStringLiteral("HI"));
    EXPECT_EQ(event.ActorID(), QStringLiteral("operator"));
    EXPECT_EQ(event.ChangeMask(), 3);
    EXPECT_EQ(event.NewState(), 5);
    EXPECT_EQ(event.EventCategory(), 10);
    EXPECT_EQ(event.Severity(), 750);
    EXPECT_EQ(event.Quality(), 0xD8);
    EXPECT_EQ(event.Cookie(), -16) << "dwCookie is kept bit for bit";
    EXPECT_TRUE(event.AckRequired()) << "any non-zero bAckRequired is true";
    EXPECT_EQ(event.RawActiveTime().dwLowDateTime, 5u);
    EXPECT_EQ(event.RawActiveTime().dwHighDateTime, 7u);
    EXPECT_EQ(event.ID(), 1);
    EXPECT_EQ(event.OPCAEServer(), &server);
    EXPECT_EQ(event.Data(), nullptr);
    EXPECT_EQ(event.NumEventAttrs(), 0);
    EXPECT_EQ(event.CustomProps()->Count(), 0);

    TNotification empty; // every text pointer null
    const TZelkEvent blank(nullptr, empty.Record());
    EXPECT_TRUE(blank.Source().isEmpty());
    EXPECT_TRUE(blank.Key().isEmpty());
    EXPECT_EQ(blank.ID(), 0);
    EXPECT_EQ(MessageOf([&] { (void)blank.CustomProps()->Names(0); }),
              QStringLiteral("Index: out of range"));
}

TEST_F(EventRecord, TimesAreLocalAndAZeroHalfMeansNoTime) {
    zelk::test::TTimeZoneScope india("Asia/Kolkata"); // +05:30 all year
    TTestEventServer server;
    TNotification n;
    n.Time = UtcFileTime(2024, 3, 1, 12, 0, 0, 250 * 10'000); // 250 ms
    n.ActiveTime = UtcFileTime(1601, 1, 1, 0, 0, 0);
    n.ActiveTime.dwHighDateTime = 0x01000000;
    n.ActiveTime.dwLowDateTime = 0;
    const TZelkEvent event(&server, n.Record());
    EXPECT_DOUBLE_EQ(event.Time(), EncodeDate(2024, 3, 1) + EncodeTime(17, 30, 0, 250));
    EXPECT_EQ(event.ActiveTime(), 0) << "low half 0";
    EXPECT_EQ(event.RawActiveTime().dwHighDateTime, 0x01000000u);

    EXPECT_EQ(FileTimeToDateTime({1, 0}), 0) << "high half 0";
    EXPECT_EQ(FileTimeToDateTime({0xFFFFFFFF, 0xFFFFFFFF}), 0) << "beyond any date";
    // 1899-12-29 18:00 local: the day before day 0, with the time counted forward.
    const TDateTime early = FileTimeToDateTime(UtcFileTime(1899, 12, 29, 12, 30, 0));
    EXPECT_DOUBLE_EQ(early, -1.75);
}

TEST_F(EventRecord, StateTypeAndQualityAreTestedBitByBit) {
    TTestEventServer server;
    const auto make = [&](WORD state, DWORD type, WORD quality) {
        TNotification n;
        n.NewState = state;
        n.EventType = type;
        n.Quality = quality;
        return std::make_unique<TZelkEvent>(&server, n.Record());
    };
    const auto none = make(0, OPC_SIMPLE_EVENT, OPC_QUALITY_GOOD);
    EXPECT_FALSE(none->Enabled() || none->Active() || none->Acknowledged());
    const auto active = make(OPC_CONDITION_ACTIVE, OPC_TRACKING_EVENT, 0x40);
    EXPECT_TRUE(active->Active());
    EXPECT_FALSE(active->Enabled() || active->Acknowledged());
    const auto all = make(7, 7, 0x00);
    EXPECT_TRUE(all->Enabled() && all->Active() && all->Acknowledged());

    EXPECT_EQ(none->EventTypeStr(), QStringLiteral("Simple"));
    EXPECT_EQ(active->EventTypeStr(), QStringLiteral("Tacking"));
    EXPECT_EQ(make(0, OPC_CONDITION_EVENT, 0)->EventTypeStr(), QStringLiteral("Condition"));
    EXPECT_EQ(all->EventTypeStr(), QStringLiteral("unknown"));
    EXPECT_TRUE(all->IsSimpleEvent() && all->IsTrackingEvent() && all->IsConditionEvent());
    EXPECT_FALSE(none->IsTrackingEvent() || none->IsConditionEvent());

    EXPECT_TRUE(none->IsGoodQuality());
    EXPECT_TRUE(make(0, 1, 0xD8)->IsGoodQuality());
    EXPECT_FALSE(active->IsGoodQuality());
    EXPECT_FALSE(all->IsGoodQuality());
}

TEST_F(EventRecord, AttributeValuesAreTakenOutOfTheRecord) {
    TLeakCheck leaks;
    TTestEventServer server;
    TNotification n;
    n.Category = 10;
    n.AddAttribute(ComVariant(12.5));
    n.AddAttribute(ComVariant(QStringLiteral("abc")));
    n.AddAttribute(IntArray({1, 2, 3}));
    LONG referenced = 42;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &referenced;
    n.Attributes.push_back(byRef);

    auto event = std::make_unique<TZelkEvent>(&server, n.Record());
    for (const VARIANT& value : n.Attributes)
        EXPECT_EQ(value.vt, VT_EMPTY) << "the record's values are emptied";
    const TZelkEventCustomProps& props = *event->CustomProps();
    ASSERT_EQ(props.Count(), 4);
    EXPECT_EQ(event->NumEventAttrs(), 4);
    EXPECT_EQ(props.Category(), 10);
    EXPECT_EQ(props.CategoryLookup().lock(), server.CategoryLookup().lock());
    EXPECT_DOUBLE_EQ(props.Values(0).Value().dblVal, 12.5);
    EXPECT_EQ(props.ValueAsString(1), QStringLiteral("abc"));
    EXPECT_EQ(props.ValueAsString(2), QStringLiteral("1;2;3;"));
    referenced = 7;
    EXPECT_EQ(props.Values(3).Type(), VT_I4) << "a reference is copied as its value";
    EXPECT_EQ(props.Values(3).Value().lVal, 42);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(props.Errors(i), S_OK);
    EXPECT_EQ(MessageOf([&] { (void)props.Values(4); }), QStringLiteral("Index: out of range"));
    EXPECT_EQ(MessageOf([&] { (void)props.Errors(-1); }), QStringLiteral("Index: out of range"));
}

TEST_F(EventRecord, MalformedAttributeListsAreNeverReadPastTheirEnd) {
    TLeakCheck leaks;
    TTestEventServer server;
    TNotification n;
    n.Category = 10;
    ONEVENTSTRUCT& nullArray = n.Record();
    nullArray.dwNumEventAttrs = 3; // a count without an array
    const TZelkEvent noArray(&server, nullArray);
    EXPECT_EQ(noArray.NumEventAttrs(), 0);
    EXPECT_EQ(noArray.CustomProps()->Count(), 0);

    n.AddAttribute(ComVariant(LONG(1)));
    ONEVENTSTRUCT& huge = n.Record();
    huge.dwNumEventAttrs = 0x80000000u; // not a count any array could have
    const TZelkEvent tooMany(&server, huge);
    EXPECT_EQ(tooMany.CustomProps()->Count(), 0);
    EXPECT_EQ(n.Attributes[0].vt, VT_I4) << "nothing was taken";

    VARIANT broken;
    VariantInit(&broken);
    broken.vt = 0x0FFE; // no type a VARIANT can hold
    n.Attributes.push_back(broken);
    const TZelkEvent mixed(&server, n.Record());
    ASSERT_EQ(mixed.CustomProps()->Count(), 2);
    EXPECT_EQ(mixed.CustomProps()->Values(0).Value().lVal, 1);
    EXPECT_EQ(mixed.CustomProps()->Values(1).Type(), VT_EMPTY);
    EXPECT_EQ(mixed.CustomProps()->Errors(1), DISP_E_BADVARTYPE);
    n.Attributes.pop_back();
}

TEST_F(EventRecord, AttributeNamesComeFromTheCategoryWhileConnected) {
    TLeakCheck leaks;
    auto fake = TFakeEventServer::Create();
    fake->ScriptPlant();
    TTestEventServer server(fake);
    TNotification n;
    n.Category = 10; // attributes CV and Limit
    n.AddAttribute(ComVariant(80.0));
    n.AddAttribute(ComVariant(75.0));
    n.AddAttribute(ComVariant(1.0)); // one more than the category lists
    auto event = std::make_unique<TZelkEvent>(&server, n.Record());
    TZelkEventCustomProps& props = *event->CustomProps();

    EXPECT_TRUE(event->CategoryName().isEmpty()) << "not connected";
    EXPECT_TRUE(props.Names(0).isEmpty());
    EXPECT_EQ(props.IndexOf(QStringLiteral("CV")), -1);
    EXPECT_TRUE(fake->Calls.isEmpty()) << "a disconnected server is not asked";

    server.SetActive(true);
    EXPECT_EQ(event->CategoryName(), QStringLiteral("Level"));
    EXPECT_EQ(props.Names(0), QStringLiteral("CV"));
    EXPECT_EQ(props.Names(1), QStringLiteral("Limit"));
    EXPECT_EQ(MessageOf([&] { (void)props.Names(2); }),
              QStringLiteral("List index out of bounds (2)"));
    EXPECT_EQ(props.IndexOf(QStringLiteral("Limit")), 1);
    EXPECT_EQ(props.IndexOf(QStringLiteral("limit")), -1) << "names match exactly";
    EXPECT_DOUBLE_EQ(props.ValueByName(QStringLiteral("Limit")).Value().dblVal, 75.0);
    EXPECT_EQ(props.ValueByName(QStringLiteral("Nothing")).Type(), VT_EMPTY);

    // A snapshot holding fewer values than the category names.
    TZelkEventCustomProps snapshot;
    snapshot.Init(server.CategoryLookup(), 1, 10);
    EXPECT_EQ(snapshot.IndexOf(QStringLiteral("Limit")), 1);
    EXPECT_EQ(MessageOf([&] { (void)snapshot.ValueByName(QStringLiteral("Limit")); }),
              QStringLiteral("Index: out of range"));

    // The caches are dropped on reconnect; the snapshot looks its entry up again.
    EXPECT_EQ(snapshot.Names(0), QStringLiteral("CV"));
    server.SetActive(false);
    EXPECT_TRUE(snapshot.Names(0).isEmpty());
    fake->Categories[2].Attributes[0].Description = QStringLiteral("Current value");
    server.SetActive(true);
    EXPECT_EQ(snapshot.Names(0), QStringLiteral("Current value"));
    server.SetActive(false);
}

TEST_F(EventRecord, CustomPropertyItemIdAsksTheServerForOneAttribute) {
    TLeakCheck leaks;
    auto fake = TFakeEventServer::Create();
    fake->ScriptPlant();
    fake->ItemId = QStringLiteral("Tank1.Level.PV");
    fake->NodeName = QStringLiteral("PLANTPC");
    fake->ItemServer = ZelkGuid("11111111-2222-3333-4444-555555555555");
    TTestEventServer server(fake);
    TNotification n;
    n.Source = QStringLiteral("Tank1");
    n.Condition = QStringLiteral("LevelHigh");
    n.Subcondition = QStringLiteral("HI");
    n.Category = 10;
    n.AddAttribute(ComVariant(80.0));
    const TZelkEvent event(&server, n.Record());

    QString itemId = QStringLiteral("old");
    QString computer = QStringLiteral("old");
    CLSID clsid = ZelkGuid("99999999-9999-9999-9999-999999999999");
    const CLSID untouched = clsid;
    event.CustomPropertyItemId(1, itemId, computer, clsid);
    EXPECT_TRUE(itemId.isEmpty() && computer.isEmpty()) << "no connection: empty outputs";
    EXPECT_TRUE(IsEqualGUID(clsid, untouched));

    server.SetActive(true);
    event.CustomPropertyItemId(1, itemId, computer, clsid);
    EXPECT_EQ(fake->Calls.last(), QStringLiteral("TranslateToItemIDs Tank1|10|LevelHigh|HI|1|101"));
    EXPECT_EQ(itemId, QStringLiteral("Tank1.Level.PV"));
    EXPECT_EQ(computer, QStringLiteral("PLANTPC"));
    EXPECT_TRUE(IsEqualGUID(clsid, fake->ItemServer));

    EXPECT_EQ(MessageOf([&] { event.CustomPropertyItemId(2, itemId, computer, clsid); }),
              QStringLiteral("List index out of bounds (2)"));
    fake->TranslateResult = E_FAIL;
    EXPECT_NE(MessageOf([&] { event.CustomPropertyItemId(0, itemId, computer, clsid); }),
              QStringLiteral("<no exception>"));
    EXPECT_TRUE(itemId.isEmpty() && computer.isEmpty());
    server.SetActive(false);
}

TEST_F(EventRecord, ACopyKeepsIdentityAndValuesButNoListPlaceOrUserData) {
    TLeakCheck leaks;
    TTestEventServer server;
    TNotification first;
    first.Source = QStringLiteral("Tank1");
    first.Condition = QStringLiteral("LevelHigh");
    first.AddAttribute(ComVariant(QStringLiteral("x")));
    server.Events()->AddEvent(std::make_unique<TZelkEvent>(&server, first.Record()));
    TNotification second;
    second.Source = QStringLiteral("Tank1");
    second.Condition = QStringLiteral("LevelHigh");
    second.AddAttribute(ComVariant(QStringLiteral("y")));
    server.Events()->AddEvent(std::make_unique<TZelkEvent>(&server, second.Record()));
    TZelkEvent* current = server.Events()->Objects(0);
    current->SetData(current);
    current->SetTag(9);

    auto copy = std::make_unique<TZelkEvent>(*current);
    EXPECT_EQ(copy->ID(), current->ID());
    EXPECT_EQ(copy->Key(), current->Key());
    EXPECT_EQ(copy->CustomProps()->ValueAsString(0), QStringLiteral("y"));
    EXPECT_EQ(copy->LastEvent(), copy.get()) << "no previous notification";
    EXPECT_EQ(copy->Data(), nullptr);
    EXPECT_EQ(copy->Tag(), 0);
    EXPECT_EQ(copy->OPCAEServer(), &server);

    copy.reset();
    ASSERT_EQ(server.Events()->KeyCount(), 1);
    EXPECT_EQ(server.Events()->Objects(0), current);
    EXPECT_EQ(current->LastEvent()->CustomProps()->ValueAsString(0), QStringLiteral("x"));
}

TEST_F(EventRecord, AnEventTakenOutOfTheListGoesWithItsPreviousNotification) {
    TTestEventServer server;
    int destroyed = 0;
    TNotification n;
    n.Source = QStringLiteral("Tank1");
    n.Condition = QStringLiteral("LevelHigh");
    TZelkEvents& list = *server.Events();
    list.AddEvent(std::make_unique<TCountedEvent>(&server, n.Record(), destroyed));
    list.AddEvent(std::make_unique<TCountedEvent>(&server, n.Record(), destroyed));
    n.Source = QStringLiteral("Tank2");
    list.AddEvent(std::make_unique<TCountedEvent>(&server, n.Record(), destroyed));
    ASSERT_EQ(list.KeyCount(), 2);

    list.Extract(list.Objects(0)).reset();
    EXPECT_EQ(destroyed, 2) << "the previous notification goes with it";
    ASSERT_EQ(list.KeyCount(), 1);
    EXPECT_EQ(list.Keys(0), QStringLiteral("Tank2LevelHigh"));

    // A detached event (no server) leaves the list alone.
    auto detached = std::make_unique<TCountedEvent>(nullptr, n.Record(), destroyed);
    detached.reset();
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(list.KeyCount(), 1);
    list.DeleteEvents();
    EXPECT_EQ(destroyed, 4);
}

TEST_F(EventRecord, DeleteEventFiresTheHandlerThenDestroys) {
    TTestEventServer server;
    int destroyed = 0;
    QStringList seen;
    server.OnDeleteEvent = [&](TComponent* sender, TZelkEvent* event) {
        EXPECT_EQ(sender, &server);
        seen << event->Key() + QStringLiteral(" alive=%1").arg(destroyed == 0);
    };
    TNotification n;
    n.Source = QStringLiteral("Tank1");
    server.Events()->AddEvent(std::make_unique<TCountedEvent>(&server, n.Record(), destroyed));
    server.DeleteEvent(server.Events()->Objects(0));
    EXPECT_EQ(seen, QStringList{QStringLiteral("Tank1 alive=1")});
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(server.Events()->KeyCount(), 0);

    server.OnDeleteEvent = [](TComponent*, TZelkEvent*) { throw Exception(QStringLiteral("no")); };
    server.Events()->AddEvent(std::make_unique<TCountedEvent>(&server, n.Record(), destroyed));
    EXPECT_EQ(MessageOf([&] { server.DeleteEvent(server.Events()->Objects(0)); }),
              QStringLiteral("no"));
    EXPECT_EQ(destroyed, 2) << "destroyed although the handler raised";
    EXPECT_EQ(server.Events()->KeyCount(), 0);
}
