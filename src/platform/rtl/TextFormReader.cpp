#include "Collection.h"
#include "Exceptions.h"
#include "TextForm.h"
#include "TextFormProperties.h"

#include <QIODevice>

namespace {

using namespace zelk::rtl;

// Applies a parsed tree to live objects in two steps: every property of one level is
// first resolved and its value converted, so an unknown property or a value of the wrong
// type changes nothing; then the values are set. Setter failures are turned into
// EReadErrors that name the line; the properties set before stay set.
class TApplier {
public:
    struct TPrepared {
        const TTextProperty* Text;
        QMetaProperty Property;
        TPropertyKind Kind;
        QVariant Value; // empty for a collection, whose items are applied one by one
    };

    std::vector<TPrepared> Prepare(QObject* target, const std::vector<TTextProperty>& properties) {
        std::vector<TPrepared> prepared;
        prepared.reserve(properties.size());
        for (const TTextProperty& property : properties)
            prepared.push_back(PrepareProperty(target, property));
        return prepared;
    }

    void Apply(QObject* target, std::vector<TPrepared>& prepared) {
        for (TPrepared& property : prepared) {
            if (property.Kind == TPropertyKind::Collection)
                ApplyCollection(target, property.Property, *property.Text);
            else
                Set(target, property.Property, property.Value, *property.Text);
        }
    }

    void ApplyProperties(QObject* target, const std::vector<TTextProperty>& properties) {
        std::vector<TPrepared> prepared = Prepare(target, properties);
        Apply(target, prepared);
    }

private:
    TPrepared PrepareProperty(QObject* target, const TTextProperty& text) {
        // `X.Strings` is how a string list X is written; no other dotted name exists.
        QString name = text.Name;
        bool stringsSuffix = false;
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        if (dot >= 0) {
            stringsSuffix =
                name.mid(dot + 1).compare(QLatin1StringView("Strings"), Qt::CaseInsensitive) == 0;
            if (!stringsSuffix)
                NoSuchProperty(text);
            name.truncate(dot);
        }
        const std::optional<QMetaProperty> property = FindPublishedProperty(target, name);
        if (!property)
            NoSuchProperty(text);
        const TPropertyKind kind = PropertyKind(*property);
        if (stringsSuffix != (kind == TPropertyKind::Strings)) {
            if (stringsSuffix)
                NoSuchProperty(text);
            ThrowReadError(
                text.Line,
                QStringLiteral("Property %1 is a string list and is written as %1.Strings")
                    .arg(name));
        }
        switch (kind) {
        case TPropertyKind::Collection:
            if (text.Value.Kind != TTextValue::vkCollection)
                ThrowReadError(text.Value.Line,
                               QStringLiteral("Invalid value for property %1: collection "
                                              "expected, found %2")
                                   .arg(text.Name, KindName(text.Value.Kind)));
            return {&text, *property, kind, QVariant()};
        case TPropertyKind::Strings:
            return {&text, *property, kind, QVariant::fromValue(StringList(text))};
        case TPropertyKind::Unsupported:
            ThrowReadError(
                text.Line,
                QStringLiteral("Property %1 has a type the text form cannot read").arg(name));
        default:
            return {&text, *property, kind, TextToVariant(*property, kind, text.Value, text.Name)};
        }
    }

    [[noreturn]] static void NoSuchProperty(const TTextProperty& text) {
        ThrowReadError(text.Line, QStringLiteral("Property %1 does not exist").arg(text.Name));
    }

    static QStringList StringList(const TTextProperty& text) {
        if (text.Value.Kind != TTextValue::vkList)
            ThrowReadError(text.Value.Line,
                           QStringLiteral("Invalid value for property %1: list expected, found %2")
                               .arg(text.Name, KindName(text.Value.Kind)));
        QStringList lines;
        for (const TTextValue& element : text.Value.Elements) {
            if (element.Kind != TTextValue::vkString)
                ThrowReadError(element.Line, QStringLiteral("Invalid value in list %1: string "
                                                            "expected, found %2")
                                                 .arg(text.Name, KindName(element.Kind)));
            lines.append(element.Text);
        }
        return lines;
    }

    template <typename Work> static void Guarded(const TTextProperty& text, Work&& work) {
        try {
            work();
        } catch (const EReadError&) {
            throw;
        } catch (const Exception& e) {
            ThrowReadError(
                text.Line,
                QStringLiteral("Error reading property %1: %2").arg(text.Name, e.Message()));
        }
    }

    static void Set(QObject* target, const QMetaProperty& property, QVariant& value,
                    const TTextProperty& text) {
        Guarded(text, [&] { SetPropertyValue(target, property, value); });
    }

    void ApplyCollection(QObject* target, const QMetaProperty& property,
                         const TTextProperty& text) {
        if (text.Value.Kind != TTextValue::vkCollection)
            ThrowReadError(text.Value.Line,
                           QStringLiteral("Invalid value for property %1: collection expected, "
                                          "found %2")
                               .arg(text.Name, KindName(text.Value.Kind)));
        auto* collection = qobject_cast<TCollection*>(property.read(target).value<QObject*>());
        if (!collection)
            ThrowReadError(text.Line,
                           QStringLiteral("Property %1 has no collection").arg(text.Name));
        TCollectionUpdate update(*collection);
        Guarded(text, [&] { collection->Clear(); });
        for (const TTextItem& item : text.Value.Items) {
            TCollectionItem* added = nullptr;
            Guarded(text, [&] { added = collection->Add(); });
            ApplyProperties(added, item.Properties);
        }
    }
};

// csLoading for the duration of a read, cleared also when the read fails.
class TLoadingScope {
public:
    TLoadingScope(TComponent* instance, void (TComponent::*setLoading)(bool))
        : FInstance(instance), FSetLoading(setLoading) {
        (FInstance->*FSetLoading)(true);
    }
    ~TLoadingScope() { (FInstance->*FSetLoading)(false); }
    TLoadingScope(const TLoadingScope&) = delete;
    TLoadingScope& operator=(const TLoadingScope&) = delete;

private:
    TComponent* FInstance;
    void (TComponent::*FSetLoading)(bool);
};

// The stored name, or, when the owner already holds another component of that name,
// the first free Name_1, Name_2, …, so that loading a copy next to its original works.
QString UniqueName(const QString& name, const TComponent* instance) {
    const TComponent* owner = instance->Owner();
    auto taken = [&](const QString& candidate) {
        const TComponent* found = owner ? owner->FindComponent(candidate) : nullptr;
        return found && found != instance;
    };
    QString candidate = name;
    for (int i = 1; taken(candidate); ++i)
        candidate = QStringLiteral("%1_%2").arg(name).arg(i);
    return candidate;
}

} // namespace

void ReadComponentFromText(const QByteArray& Text, TComponent* Instance) {
    if (!Instance)
        throw EReadError(QStringLiteral("No component to read into"));
    const TTextObject object = ParseTextForm(Text);
    const QString className = QLatin1StringView(Instance->metaObject()->className());
    if (object.ClassName.compare(className, Qt::CaseInsensitive) != 0)
        ThrowReadError(object.Line,
                       QStringLiteral("Class %1 does not match the component's class %2")
                           .arg(object.ClassName, className));
    TApplier applier;
    std::vector<TApplier::TPrepared> prepared = applier.Prepare(Instance, object.Properties);
    {
        TLoadingScope loading(Instance, &TComponent::SetLoading);
        if (!object.Name.isEmpty()) {
            try {
                Instance->SetName(UniqueName(object.Name, Instance));
            } catch (const Exception& e) {
                ThrowReadError(object.Line, e.Message());
            }
        }
        applier.Apply(Instance, prepared);
        Instance->Loaded();
    }
}

void ReadComponentFromStream(QIODevice& Stream, TComponent* Instance) {
    if (!Stream.isReadable())
        throw EStreamError(QStringLiteral("Stream read error"));
    QByteArray text;
    for (;;) {
        const qint64 remaining = MaxTextFormSize + 1 - text.size();
        const QByteArray chunk = Stream.read(qMin<qint64>(remaining, 1 << 20));
        if (chunk.isEmpty())
            break;
        text += chunk;
        if (text.size() > MaxTextFormSize)
            break;
    }
    ReadComponentFromText(text, Instance);
}
