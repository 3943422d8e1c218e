#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <ostream>

namespace zelk::test {

// Processes Qt events until `condition` holds or `timeout` passes; returns whether it
// held. Tests wait for asynchronous work with this, never with a fixed sleep.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

} // namespace zelk::test

// Readable QString values in assertion messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}
