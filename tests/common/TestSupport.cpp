#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdlib>
#include <ctime>

namespace zelk::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::yieldCurrentThread();
    }
    return true;
}

TTimeZoneScope::TTimeZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ"))
        FOld = old;
    setenv("TZ", zone, 1);
    tzset();
}

TTimeZoneScope::~TTimeZoneScope() {
    if (FOld)
        setenv("TZ", FOld->c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace zelk::test
