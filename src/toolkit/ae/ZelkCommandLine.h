#pragma once

// Values on the command lines of the toolkit's programs (the monitor, the journal tool),
// read the same way in both: whole numbers within bounds, event type lists and severity
// ranges. A value that does not fit raises TUsageError with the text the user sees.

#include "ZelkEventFilter.h"

#include <QCommandLineParser>
#include <QString>
#include <cstdint>
#include <utility>

namespace zelk::cmdline {

struct TUsageError {
    QString Text;
};

[[noreturn]] void Refuse(const QString& text);

// The option's value as a whole number from lowest to highest.
std::int64_t WholeNumber(const QCommandLineParser& parser, const QCommandLineOption& option,
                         std::int64_t lowest, std::int64_t highest);
// "simple,condition" (any case, repeatable) as a set of event types.
tZelkEventtypes EventTypes(const QStringList& values);
// "LOW-HIGH" with 0 <= LOW <= HIGH <= 1000.
std::pair<int, int> SeverityRange(const QString& text);

} // namespace zelk::cmdline
