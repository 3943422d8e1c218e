#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace zelk::test {

// Processes Qt events until `condition` holds or `timeout` passes; returns whether it
// held. Tests wait for asynchronous work with this, never with a fixed sleep.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs the scope under another local time zone (a TZ value such as "Europe/Berlin") and
// restores the process's own afterwards.
class TTimeZoneScope {
public:
    explicit TTimeZoneScope(const char* zone);
    ~TTimeZoneScope();
    TTimeZoneScope(const TTimeZoneScope&) = delete;
    TTimeZoneScope& operator=(const TTimeZoneScope&) = delete;

private:
    std::optional<std::string> FOld;
};

} // namespace zelk::test

// Readable QString values in assertion messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}
