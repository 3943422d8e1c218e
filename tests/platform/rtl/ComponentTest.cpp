#include "Component.h"

#include <QVariant>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

struct TNote {
    QString Receiver;
    QString Subject;
    TOperation Operation;
    bool SubjectDestroying;
};

// Records every notification in a shared log and holds a plain pointer to a peer that
// it clears on removal, the way toolkit components hold each other.
class TWatcher : public TComponent {
public:
    TWatcher(TComponent* owner, const QString& name, std::vector<TNote>* log)
        : TComponent(owner), FLog(log) {
        SetName(name);
    }
    ~TWatcher() override {
        if (FDestroyed)
            FDestroyed->push_back(Name() + (ComponentState().Contains(csDestroying) ? "!" : "?"));
    }

    TComponent* Peer = nullptr;
    std::vector<QString>* FDestroyed = nullptr;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        FLog->push_back({Name(), AComponent->Name(), Operation,
                         AComponent->ComponentState().Contains(csDestroying)});
        if (Operation == opRemove && AComponent == Peer)
            Peer = nullptr;
    }

private:
    std::vector<TNote>* FLog;
};

} // namespace

TEST(Component, OwnerDestroysItsComponentsAndHearsOfEveryChange) {
    std::vector<TNote> log;
    std::vector<QString> destroyed;
    auto owner = std::make_unique<TWatcher>(nullptr, QStringLiteral("Owner"), &log);
    auto* a = new TWatcher(owner.get(), QStringLiteral("A"), &log);
    auto* b = new TWatcher(owner.get(), QStringLiteral("B"), &log);
    auto* c = new TWatcher(owner.get(), QStringLiteral("C"), &log);
    for (TWatcher* w : {a, b, c})
        w->FDestroyed = &destroyed;

    ASSERT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->Components(1), b);
    EXPECT_EQ(b->Owner(), owner.get());
    EXPECT_EQ(b->parent(), owner.get());
    EXPECT_EQ(owner->FindComponent(QStringLiteral("c")), c);
    EXPECT_THROW(owner->Components(3), EListError);
    // The constructor's insertion is announced before the name is set.
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].Operation, opInsert);

    log.clear();
    delete b;
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Receiver, QStringLiteral("Owner"));
    EXPECT_EQ(log[0].Subject, QStringLiteral("B"));
    EXPECT_EQ(log[0].Operation, opRemove);
    EXPECT_TRUE(log[0].SubjectDestroying);
    EXPECT_EQ(owner->ComponentCount(), 2);

    // Moving a component to another owner moves its Qt parent with it.
    TWatcher other(nullptr, QStringLiteral("Other"), &log);
    other.InsertComponent(c);
    EXPECT_EQ(c->Owner(), &other);
    EXPECT_EQ(c->parent(), &other);
    owner->InsertComponent(c);

    log.clear();
    destroyed.clear();
    owner.reset();
    // Last first; each was marked as being destroyed before its own destructor ran.
    EXPECT_EQ(destroyed, (std::vector<QString>{QStringLiteral("C!"), QStringLiteral("A!")}));
}

TEST(Component, FreeNotificationClearsPointersWhicheverSideDiesFirst) {
    std::vector<TNote> log;
    auto holder = std::make_unique<TWatcher>(nullptr, QStringLiteral("Holder"), &log);
    auto target = std::make_unique<TWatcher>(nullptr, QStringLiteral("Target"), &log);
    holder->Peer = target.get();
    target->Peer = holder.get();
    holder->FreeNotification(target.get());
    holder->FreeNotification(target.get()); // registering twice notifies once

    target.reset();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Receiver, QStringLiteral("Holder"));
    EXPECT_EQ(log[0].Subject, QStringLiteral("Target"));
    EXPECT_TRUE(log[0].SubjectDestroying);
    EXPECT_EQ(holder->Peer, nullptr);

    // The other direction, and a partner that has left no trace behind.
    log.clear();
    auto second = std::make_unique<TWatcher>(nullptr, QStringLiteral("Second"), &log);
    second->Peer = holder.get();
    second->FreeNotification(holder.get());
    holder.reset();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Receiver, QStringLiteral("Second"));
    EXPECT_EQ(second->Peer, nullptr);

    // After RemoveFreeNotification neither side hears of the other.
    log.clear();
    auto third = std::make_unique<TWatcher>(nullptr, QStringLiteral("Third"), &log);
    third->FreeNotification(second.get());
    second->RemoveFreeNotification(third.get());
    third.reset();
    second.reset();
    EXPECT_TRUE(log.empty());

    // A partner owned by the component: its owner hears of its removal once.
    auto owner = std::make_unique<TWatcher>(nullptr, QStringLiteral("Owner"), &log);
    auto* child = new TWatcher(owner.get(), QStringLiteral("Child"), &log);
    auto outsider = std::make_unique<TWatcher>(nullptr, QStringLiteral("Outsider"), &log);
    owner->FreeNotification(child);
    outsider->FreeNotification(child);
    log.clear();
    delete child;
    int ownerNotes = 0;
    int outsiderNotes = 0;
    for (const TNote& note : log) {
        ownerNotes +=
            note.Receiver == QStringLiteral("Owner") && note.Subject == QStringLiteral("Child");
        outsiderNotes += note.Receiver == QStringLiteral("Outsider");
    }
    EXPECT_EQ(ownerNotes, 1);
    EXPECT_EQ(outsiderNotes, 1);
}

TEST(Component, NamesAndStates) {
    std::vector<TNote> log;
    TWatcher owner(nullptr, QStringLiteral("Owner"), &log);
    auto* a = new TWatcher(&owner, QStringLiteral("Alpha"), &log);
    auto* b = new TWatcher(&owner, QString(), &log);
    EXPECT_THROW(b->SetName(QStringLiteral("ALPHA")), EComponentError);
    EXPECT_THROW(b->SetName(QStringLiteral("2nd")), EComponentError);
    EXPECT_THROW(b->SetName(QStringLiteral("a b")), EComponentError);
    EXPECT_EQ(b->Name(), QString());
    b->SetName(QStringLiteral("_Beta2"));
    a->SetName(QStringLiteral("ALPHA")); // its own name in another case
    EXPECT_EQ(a->Name(), QStringLiteral("ALPHA"));
    EXPECT_EQ(a->objectName(), QStringLiteral("ALPHA"));
    EXPECT_EQ(a->property("Name").toString(), QStringLiteral("ALPHA"));
    b->SetName(QString());

    EXPECT_TRUE(owner.ComponentState().Empty());
    owner.SetDesigning(true);
    EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
    EXPECT_FALSE(a->ComponentState().Contains(csLoading));
    owner.SetDesigning(false);
    EXPECT_EQ(b->ComponentState(), TComponentState());
}
