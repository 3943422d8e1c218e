#pragma once

// The filters of an event server: what the operator wants to receive (event types, a
// severity range, categories by name, areas and sources). Every filter owns at most one
// server subscription; while the event server is connected each filter has one.
//
// Everything here runs on the user-interface thread.

#include "Collection.h"
#include "EnumSet.h"
#include "comptr.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

class TZelkEventServer;
class TZelkEventSubscription;

namespace ZelkAEEnums {
Q_NAMESPACE

// The kinds of event a filter lets through; member i of tZelkEventtypes is bit i.
enum TZelkEventtype : std::uint8_t { evSimple, evCondition, evTracking };
Q_ENUM_NS(TZelkEventtype)
} // namespace ZelkAEEnums

// The type name is global, the enumerators are not (see tZelkConnectionType).
using ZelkAEEnums::TZelkEventtype;

// The empty set means every event type.
using tZelkEventtypes = TEnumSet<TZelkEventtype>;

// The event types as flags (member i = 1 << i), for the text form of the published set.
// The names are the stored ones; scoped, so that no `using` puts a flag value where an
// event type is meant.
namespace ZelkEventtypeFlags {
Q_NAMESPACE
enum class tZelkEventtypeFlag : std::uint32_t {
    evSimple = 1u << ZelkAEEnums::evSimple,
    evCondition = 1u << ZelkAEEnums::evCondition,
    evTracking = 1u << ZelkAEEnums::evTracking,
};
Q_DECLARE_FLAGS(tZelkEventtypeFlags, tZelkEventtypeFlag)
Q_FLAG_NS(tZelkEventtypeFlags)
} // namespace ZelkEventtypeFlags

// One named filter. None of the setters talks to the server except SetActive; an edited
// filter reaches the server through Refresh (or ApplyFilter).
class TZelkEventFilter : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(ZelkEventtypeFlags::tZelkEventtypeFlags EventType READ EventTypeFlags WRITE
                   SetEventTypeFlags)
    Q_PROPERTY(int SeverityLow READ SeverityLow WRITE SetSeverityLow)
    Q_PROPERTY(int SeverityHigh READ SeverityHigh WRITE SetSeverityHigh)
    Q_PROPERTY(QStringList Categories READ Categories WRITE SetCategories)
    Q_PROPERTY(QStringList Areas READ Areas WRITE SetAreas)
    Q_PROPERTY(QStringList Sources READ Sources WRITE SetSources)
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
    Q_CLASSINFO("default:SeverityHigh", "1000")
    Q_CLASSINFO("default:Active", "True")

public:
    // Joins Collection, named "Filter_" and the collection's count including itself.
    explicit TZelkEventFilter(TCollection* Collection);
    // Un-advises the subscription (errors are swallowed), then leaves the collection.
    ~TZelkEventFilter() override;

    // The name unless it is blank; then the collection item's default text.
    QString DisplayName() const override;

    // ---- published ----
    tZelkEventtypes EventType() const noexcept { return FEventType; }
    void SetEventType(tZelkEventtypes Value) noexcept { FEventType = Value; }
    int SeverityLow() const noexcept { return FSeverityLow; }
    void SetSeverityLow(int Value) noexcept { FSeverityLow = Value; }
    int SeverityHigh() const noexcept { return FSeverityHigh; }
    void SetSeverityHigh(int Value) noexcept { FSeverityHigh = Value; }
    // Category names; mapped to the server's category ids when the filter is applied.
    const QStringList& Categories() const noexcept { return FCategories; }
    void SetCategories(const QStringList& Value) { FCategories = Value; }
    // Fully qualified area and source names, passed to the server as they are.
    const QStringList& Areas() const noexcept { return FAreas; }
    void SetAreas(const QStringList& Value) { FAreas = Value; }
    const QStringList& Sources() const noexcept { return FSources; }
    void SetSources(const QStringList& Value) { FSources = Value; }
    const QString& Name() const noexcept { return FName; }
    // An empty name is ignored.
    void SetName(const QString& Value);
    bool Active() const noexcept { return FActive; }
    // Stores the flag. Switching on while the event server is connected (and not being
    // designed) gives a filter without subscription a new one, filtered and active.
    // Switching off only stores: the subscription goes inactive at the next Refresh.
    void SetActive(bool Value);
    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }

    // ---- public ----
    // The filter's subscription, null without one. The filter holds a counted reference
    // besides the server's connection point; it is dropped when the filter un-advises.
    TZelkEventSubscription* Subscriptor() const noexcept { return FSubscriptor.Get(); }
    // With a subscription: deactivates it, then ApplyFilter, so an edited filter reaches
    // the server and the subscription is active again only when the filter is.
    void Refresh();
    // For an active filter with a subscription: sends the filter and activates it.
    void ApplyFilter();
    // The OPC event type mask of EventType: 7 for the empty set.
    DWORD EventTypeMask() const noexcept;
    // The event server of the collection; null outside a filter collection.
    TZelkEventServer* OPCServer() const;
    // Copies the published values of Source; Active goes through SetActive.
    void Assign(const TZelkEventFilter* Source);

private:
    friend class TZelkEventFilters;

    ZelkEventtypeFlags::tZelkEventtypeFlags EventTypeFlags() const;
    void SetEventTypeFlags(ZelkEventtypeFlags::tZelkEventtypeFlags Value);
    // Makes a new subscription for the event server, asking for its Buffertime and
    // MaxSize, and keeps it. The default filter's asks for them again when it activates.
    void Subscribe(bool AskAgainOnActivation = false);
    // Un-advises the subscription and forgets it; the subscription is forgotten also when
    // un-advising raises, and the exception goes on.
    void UnSubscribe();

    std::int32_t FSeverityLow = 0;
    std::int32_t FSeverityHigh = 1000;
    tZelkEventtypes FEventType;
    QStringList FCategories;
    QStringList FAreas;
    QStringList FSources;
    ComPtr<TZelkEventSubscription> FSubscriptor;
    QString FName;
    bool FActive = true;
    std::int32_t FTag = 0;
};

// The filter collection an event server publishes as its Filter property.
class TZelkEventFilters : public TCollection {
    Q_OBJECT

public:
    // aOwner is the collection's owner for streaming (its Qt parent).
    explicit TZelkEventFilters(TZelkEventServer* aOwner);
    // Destroys the filters while this is still a filter collection.
    ~TZelkEventFilters() override;

    TZelkEventFilter* Add();
    // EListError "List index out of bounds (%d)" outside 0 .. Count - 1.
    TZelkEventFilter* Items(int Index) const;
    // Copies the published values of Value into the filter at Index.
    void SetItems(int Index, TZelkEventFilter* Value);

    // Called right after the event server has connected (not while it is designed): every
    // filter gets a fresh subscription, active when the filter is; an empty collection
    // gets a filter "Default" receiving everything. An exception ends the refresh at the
    // filter that raised.
    void Refresh();
    // Called when the event server disconnects (not while it is designed): every
    // subscription is un-advised and forgotten. Never raises.
    void UnAdviseAll() noexcept;

    TZelkEventServer* OPCServer() const noexcept { return FOwner; }
    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }

private:
    bool Designing() const;

    // Not counted: the event server owns this collection.
    TZelkEventServer* FOwner;
    std::int32_t FTag = 0;
};
