#pragma once

// TZelkEvent: one notification of an OPC AE server (a simple or tracking event, or a
// change of a condition's state), turned from its ONEVENTSTRUCT into a self-contained
// record that owns copies of its texts and attribute values, carries its times as local
// date-times and has a client-side identity (ID) and a merge key (Key).
//
// An event is built on the thread on which the server delivers the notification and from
// then on lives on the thread that consumes the event server's queue: everything but the
// constructors runs there.

#include "DateTime.h"
#include "Persistent.h"
#include "ZelkEventCustomProps.h"
#include "opc_ae.h"

#include <QPointer>
#include <QString>
#include <memory>

class TZelkEventCondition;
class TZelkEventServer;
class TZelkEvents;

// FILETIME (UTC) to a local date-time, with the time-zone offset in force now. 0 when
// either half is 0 or the conversion fails.
TDateTime FileTimeToDateTime(const FILETIME& FileTime);

class TZelkEvent : public TPersistent {
    Q_GADGET
    // The published properties: these and only these can be sort keys of an event list.
    Q_PROPERTY(bool Active READ Active)
    Q_PROPERTY(bool Enabled READ Enabled)
    Q_PROPERTY(bool Acknowledged READ Acknowledged)
    Q_PROPERTY(QString ActorID READ ActorID)
    Q_PROPERTY(QString Source READ Source)
    Q_PROPERTY(double Time READ Time)
    Q_PROPERTY(double ActiveTime READ ActiveTime)
    Q_PROPERTY(QString Msg READ Msg)
    Q_PROPERTY(int NewState READ NewState)
    Q_PROPERTY(int ChangeMask READ ChangeMask)
    Q_PROPERTY(int EventType READ EventType)
    Q_PROPERTY(int EventCategory READ EventCategory)
    Q_PROPERTY(int Severity READ Severity)
    Q_PROPERTY(QString ConditionName READ ConditionName)
    Q_PROPERTY(QString SubconditionName READ SubconditionName)
    Q_PROPERTY(int Quality READ Quality)
    Q_PROPERTY(bool AckRequired READ AckRequired)
    Q_PROPERTY(int Cookie READ Cookie)
    Q_PROPERTY(int NumEventAttrs READ NumEventAttrs)
    Q_PROPERTY(int ID READ ID)
    Q_PROPERTY(QString Key READ Key WRITE SetKey)

public:
    // Builds the event from one record of IOPCEventSink::OnEvent and takes its attribute
    // values: every VARIANT of Event.pEventAttributes is empty afterwards. Draws the ID
    // from Server (any thread). Null strings read as empty; a null attribute array gives
    // no attribute values. Server may be null (an event of no server).
    TZelkEvent(TZelkEventServer* Server, ONEVENTSTRUCT& Event);
    // The same for an event of no server, with the given ID and no attribute names: an
    // event list works with such events as with any other.
    TZelkEvent(ONEVENTSTRUCT& Event, int ID);
    // A copy of Event's notification: same ID, Key, values and server; no previous
    // notification, Data and Tag 0, in no list. The copy belongs to whoever made it.
    explicit TZelkEvent(const TZelkEvent& Event);
    TZelkEvent& operator=(const TZelkEvent&) = delete;
    // Destroys its previous notification. Fires no handler. An event in an event list is
    // destroyed by that list only (it owns it).
    ~TZelkEvent() override;

    // ---- published ----
    bool Active() const noexcept { return (FNewState & OPC_CONDITION_ACTIVE) != 0; }
    bool Enabled() const noexcept { return (FNewState & OPC_CONDITION_ENABLED) != 0; }
    bool Acknowledged() const noexcept { return (FNewState & OPC_CONDITION_ACKED) != 0; }
    const QString& ActorID() const noexcept { return FActorID; }
    const QString& Source() const noexcept { return FSource; }
    TDateTime Time() const noexcept { return FTime; }
    TDateTime ActiveTime() const noexcept { return FActiveTime; }
    const QString& Msg() const noexcept { return FMsg; }
    int NewState() const noexcept { return FNewState; }
    int ChangeMask() const noexcept { return FChangeMask; }
    int EventType() const noexcept { return FEventType; }
    int EventCategory() const noexcept { return FEventCategory; }
    int Severity() const noexcept { return FSeverity; }
    const QString& ConditionName() const noexcept { return FConditionName; }
    const QString& SubconditionName() const noexcept { return FSubconditionName; }
    int Quality() const noexcept { return FQuality; }
    bool AckRequired() const noexcept { return FAckRequired; }
    int Cookie() const noexcept { return FCookie; }
    int NumEventAttrs() const noexcept { return FNumEventAttrs; }
    int ID() const noexcept { return FID; }
    // Source immediately followed by ConditionName. Changing it does not move the event
    // within its list: a list keeps the key text under which the event was entered (but
    // a list sorted by Key sorts anew).
    const QString& Key() const noexcept { return FKey; }
    void SetKey(const QString& Value);

    // ---- public ----
    void* Data() const noexcept { return FData; }
    void SetData(void* Value) noexcept { FData = Value; }
    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }
    // ftTime exactly as received (UTC, 100 ns resolution), for logs and historians.
    const FILETIME& RawTime() const noexcept { return FTTime; }
    // ftActiveTime exactly as received; acknowledgement sends it back to the server.
    const FILETIME& RawActiveTime() const noexcept { return FTActiveTime; }
    // The notification this one replaced in the event list when there is one, else itself.
    // The previous notification belongs to this event.
    TZelkEvent* LastEvent() noexcept { return FLast ? FLast.get() : this; }
    bool IsSimpleEvent() const noexcept { return (FEventType & OPC_SIMPLE_EVENT) != 0; }
    bool IsConditionEvent() const noexcept { return (FEventType & OPC_CONDITION_EVENT) != 0; }
    bool IsTrackingEvent() const noexcept { return (FEventType & OPC_TRACKING_EVENT) != 0; }
    // The category's description from the server's Categories; empty unless the event
    // has a server and that server is active.
    QString CategoryName() const;
    TZelkEventCustomProps* CustomProps() noexcept { return &FCustProperties; }
    const TZelkEventCustomProps* CustomProps() const noexcept { return &FCustProperties; }
    // The event server that received the event; null once the event is detached or the
    // server has been destroyed.
    TZelkEventServer* OPCAEServer() const noexcept;
    // The event list that owns the event; null while it is in none (a batch, a copy, a
    // previous notification).
    const TZelkEvents* List() const noexcept { return FList; }

    // "Simple", "Tacking", "Condition" for the event types 1, 2 and 4 exactly, otherwise
    // "unknown".
    QString EventTypeStr() const;
    // Whether the quality bits (0xC0) say good.
    bool IsGoodQuality() const noexcept {
        return (FQuality & OPC_QUALITY_MASK) == OPC_QUALITY_GOOD;
    }
    // Asks the server which data item backs attribute CustPropIndex of the event's
    // category. The outputs stay empty (ServerCLSID unchanged) when the event has no
    // server, the server is not connected or the category is unknown. EListError for a
    // position beyond the category's attribute list; a failing server call raises
    // through OPCCheck.
    void CustomPropertyItemId(int CustPropIndex, QString& ItemId, QString& ComputerName,
                              CLSID& ServerCLSID) const;
    // Acknowledges this event through its event server; nothing when the event has no
    // server or the server is not active. A local acknowledgement may delete a listed
    // event: nothing of it is touched after this call.
    void Acknowledge(const QString& who, const QString& comment);
    // The event server's GetConditionState for this event's source and condition.
    std::unique_ptr<TZelkEventCondition> GetConditionState() const;

private:
    friend class TZelkEvents;
    friend class TZelkEventServer;

    QString FActorID;
    QString FSource;
    TDateTime FTime = 0;
    TDateTime FActiveTime = 0;
    FILETIME FTTime{};
    FILETIME FTActiveTime{};
    QString FMsg;
    std::int32_t FNewState = 0;
    std::int32_t FChangeMask = 0;
    std::int32_t FEventType = 0;
    std::int32_t FEventCategory = 0;
    std::int32_t FSeverity = 0;
    QString FConditionName;
    QString FSubconditionName;
    std::int32_t FQuality = 0;
    bool FAckRequired = false;
    std::int32_t FCookie = 0;
    std::int32_t FNumEventAttrs = 0;
    void* FData = nullptr;
    std::int32_t FID = 0;
    std::unique_ptr<TZelkEvent> FLast;
    // Not owned; cleared when the event is detached (see TZelkEvents::DeleteEvents), and
    // by itself when the server is destroyed: copies and snapshots held by a window may
    // outlive the server they came from.
    QPointer<TZelkEventServer> FOPCAEServer;
    TZelkEventCustomProps FCustProperties;
    std::int32_t FTag = 0;
    QString FKey;
    // The owning list; set and cleared by it.
    TZelkEvents* FList = nullptr;
};
