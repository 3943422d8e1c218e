#include "ZelkCommandLine.h"

#include <QRegularExpression>

using enum ZelkAEEnums::TZelkEventtype;

namespace zelk::cmdline {

void Refuse(const QString& text) {
    throw TUsageError{text};
}

std::int64_t WholeNumber(const QCommandLineParser& parser, const QCommandLineOption& option,
                         std::int64_t lowest, std::int64_t highest) {
    const QString text = parser.value(option);
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < lowest || value > highest)
        Refuse(QStringLiteral("invalid value '%1' for --%2: expected a whole number from %3 to %4")
                   .arg(text, option.names().constFirst())
                   .arg(lowest)
                   .arg(highest));
    return value;
}

tZelkEventtypes EventTypes(const QStringList& values) {
    tZelkEventtypes types;
    for (const QString& value : values) {
        for (const QString& part : value.split(QLatin1Char(','))) {
            const QString name = part.trimmed().toLower();
            if (name == QLatin1String("simple"))
                types.Include(evSimple);
            else if (name == QLatin1String("condition"))
                types.Include(evCondition);
            else if (name == QLatin1String("tracking"))
                types.Include(evTracking);
            else
                Refuse(QStringLiteral("unknown event type '%1' for --types: expected simple, "
                                      "condition or tracking")
                           .arg(part.trimmed()));
        }
    }
    return types;
}

std::pair<int, int> SeverityRange(const QString& text) {
    static const QRegularExpression range(
        QStringLiteral("^\\s*(\\d{1,4})\\s*-\\s*(\\d{1,4})\\s*$"));
    const QRegularExpressionMatch match = range.match(text);
    const int low = match.hasMatch() ? match.captured(1).toInt() : -1;
    const int high = match.hasMatch() ? match.captured(2).toInt() : -1;
    if (low < 0 || high > 1000 || low > high)
        Refuse(QStringLiteral("invalid severity range '%1': expected LOW-HIGH with 0 <= LOW <= "
                              "HIGH <= 1000")
                   .arg(text));
    return {low, high};
}

} // namespace zelk::cmdline
