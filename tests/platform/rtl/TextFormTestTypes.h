#pragma once

// Components with one published property of every kind the text form stores, shared by
// the text-form round-trip and fuzz suites.

#include "Collection.h"
#include "Component.h"

#include <QPoint>
#include <QStringList>

class TSampleItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int Level READ Level WRITE SetLevel)
    Q_PROPERTY(QStringList Sources READ Sources WRITE SetSources)
    Q_CLASSINFO("default:Level", "1000")

public:
    explicit TSampleItem(TCollection* Collection) : TCollectionItem(Collection) {}

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value) { FCaption = Value; }
    int Level() const { return FLevel; }
    void SetLevel(int Value) { FLevel = Value; }
    QStringList Sources() const { return FSources; }
    void SetSources(const QStringList& Value) { FSources = Value; }

private:
    QString FCaption;
    int FLevel = 1000;
    QStringList FSources;
};

class TSampleComponent : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_PROPERTY(qint64 Big READ Big WRITE SetBig)
    Q_PROPERTY(uint Unsigned READ Unsigned WRITE SetUnsigned)
    Q_PROPERTY(double Ratio READ Ratio WRITE SetRatio)
    Q_PROPERTY(TMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(TLevel Level READ Level WRITE SetLevel)
    Q_PROPERTY(TKinds Kinds READ Kinds WRITE SetKinds)
    Q_PROPERTY(QStringList Lines READ Lines WRITE SetLines)
    Q_PROPERTY(TCollection* Items READ Items)
    Q_PROPERTY(int Guarded READ Guarded WRITE SetGuarded)
    Q_PROPERTY(int Transient READ Transient WRITE SetTransient STORED false)
    Q_PROPERTY(int Internal READ Internal WRITE SetInternal DESIGNABLE false)
    Q_CLASSINFO("default:Count", "7")
    Q_CLASSINFO("default:Caption", "'none'")
    Q_CLASSINFO("default:Mode", "moSlow")
    Q_CLASSINFO("stored:Active", "always")

public:
    enum TMode { moOff, moSlow, moFast };
    Q_ENUM(TMode)
    enum class TLevel : quint8 { lvLow, lvMiddle = 100, lvHigh = 200 };
    Q_ENUM(TLevel)
    enum TKind { kiSimple = 1, kiCondition = 2, kiTracking = 4 };
    Q_DECLARE_FLAGS(TKinds, TKind)
    Q_FLAG(TKinds)

    explicit TSampleComponent(TComponent* AOwner = nullptr)
        : TComponent(AOwner), FItems(TCollection::ItemFactory<TSampleItem>(), this) {}

    QString Text() const { return FText; }
    void SetText(const QString& Value) { FText = Value; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value) { FCaption = Value; }
    bool Active() const { return FActive; }
    void SetActive(bool Value) {
        FActive = Value;
        FLoadingSeenBySetter = ComponentState().Contains(csLoading);
    }
    int Count() const { return FCount; }
    void SetCount(int Value) { FCount = Value; }
    qint64 Big() const { return FBig; }
    void SetBig(qint64 Value) { FBig = Value; }
    uint Unsigned() const { return FUnsigned; }
    void SetUnsigned(uint Value) { FUnsigned = Value; }
    double Ratio() const { return FRatio; }
    void SetRatio(double Value) { FRatio = Value; }
    TMode Mode() const { return FMode; }
    void SetMode(TMode Value) { FMode = Value; }
    TLevel Level() const { return FLevel; }
    void SetLevel(TLevel Value) { FLevel = Value; }
    TKinds Kinds() const { return FKinds; }
    void SetKinds(TKinds Value) { FKinds = Value; }
    QStringList Lines() const { return FLines; }
    void SetLines(const QStringList& Value) { FLines = Value; }
    TCollection* Items() { return &FItems; }
    TSampleItem* Item(int Index) { return static_cast<TSampleItem*>(FItems.Items(Index)); }
    int Guarded() const { return FGuarded; }
    // Refuses negative values the way a component's setter refuses a bad setting.
    void SetGuarded(int Value) {
        if (Value < 0)
            throw EConvertError(QStringLiteral("Guarded must not be negative"));
        FGuarded = Value;
    }
    int Transient() const { return FTransient; }
    void SetTransient(int Value) { FTransient = Value; }
    int Internal() const { return FInternal; }
    void SetInternal(int Value) { FInternal = Value; }

    int LoadedCalls = 0;
    bool FLoadingSeenBySetter = false;

protected:
    void Loaded() override {
        TComponent::Loaded();
        ++LoadedCalls;
    }

private:
    QString FText;
    QString FCaption = QStringLiteral("none");
    bool FActive = false;
    int FCount = 7;
    qint64 FBig = 0;
    uint FUnsigned = 0;
    double FRatio = 0;
    TMode FMode = moSlow;
    TLevel FLevel = TLevel::lvLow;
    TKinds FKinds;
    QStringList FLines;
    TCollection FItems;
    int FGuarded = 0;
    int FTransient = 0;
    int FInternal = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TSampleComponent::TKinds)

// A published property of a type the text form has no notation for.
class TOddComponent : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QPoint Where READ Where WRITE SetWhere)

public:
    using TComponent::TComponent;
    QPoint Where() const { return FWhere; }
    void SetWhere(QPoint Value) { FWhere = Value; }

private:
    QPoint FWhere;
};

// A declared default that does not fit its property.
class TBadDefaultComponent : public TComponent {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_CLASSINFO("default:Count", "'seven'")

public:
    using TComponent::TComponent;
    int Count() const { return FCount; }
    void SetCount(int Value) { FCount = Value; }

private:
    int FCount = 0;
};
