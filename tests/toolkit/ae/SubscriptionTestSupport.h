#pragma once

// Shared pieces of the filter and subscription suites: an event server connected to the
// simulated AE server through the COM transport, and readers of the simulator's record.

#include "AETestSupport.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

#include <string_view>

namespace zelk::aetest {

inline const QString SimProgId = QStringLiteral("Zelk.AESimulator.1");

// Registers the COM transport for the test's lifetime.
class SubscriptionTest : public ::testing::Test {
protected:
    SubscriptionTest() { RegisterZelkCOMLink(); }
    zelk::testing::TScopedConnectionRegistry Registry;
};

// The arguments of every recorded call of `method`, oldest first.
inline QStringList Recorded(const zelk::aesim::TAESimulator& sim, std::string_view method) {
    QStringList arguments;
    for (const auto& call : sim.Faults().Calls(method))
        arguments << call.Arguments;
    return arguments;
}

// The calls that make and drive subscriptions, by short method name, oldest first.
inline QStringList SubscriptionCalls(const zelk::aesim::TAESimulator& sim) {
    static const QStringList watched{QStringLiteral("IOPCEventServer::CreateEventSubscription"),
                                     QStringLiteral("IOPCEventSubscriptionMgt::SetFilter"),
                                     QStringLiteral("IOPCEventSubscriptionMgt::SetState"),
                                     QStringLiteral("IOPCEventSubscriptionMgt::Refresh")};
    QStringList names;
    for (const auto& call : sim.Faults().Calls()) {
        const QString method = QString::fromStdString(call.Method);
        if (watched.contains(method))
            names << method.section(QStringLiteral("::"), 1);
    }
    return names;
}

inline DWORD CategoryId(const zelk::aesim::TAESimulator& sim, const QString& description) {
    for (const auto& category : sim.Plant().Categories)
        if (category.Description == description)
            return category.Id;
    ADD_FAILURE() << "no category " << description.toStdString();
    return 0;
}

// The SetFilter record for the given values, in the simulator's notation.
inline QString FilterText(DWORD eventType, const QString& categories, DWORD low, DWORD high = 1000,
                          const QString& areas = QStringLiteral("[]"),
                          const QString& sources = QStringLiteral("[]")) {
    return QStringLiteral("EventType=%1 Categories=%2 LowSeverity=%3 HighSeverity=%4 Areas=%5 "
                          "Sources=%6")
        .arg(QString::number(eventType), categories, QString::number(low), QString::number(high),
             areas, sources);
}

} // namespace zelk::aetest
