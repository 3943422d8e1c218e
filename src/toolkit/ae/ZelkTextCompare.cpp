#include "ZelkTextCompare.h"

namespace {

// The calling thread's collator, rebuilt when the default locale has changed.
QCollator& ThreadCollator(Qt::CaseSensitivity sensitivity) {
    struct TCached {
        QLocale Locale;
        QCollator Collator;
    };
    thread_local TCached insensitive{QLocale(), zelk::ae::MakeCollator(Qt::CaseInsensitive)};
    thread_local TCached sensitive{QLocale(), zelk::ae::MakeCollator(Qt::CaseSensitive)};
    TCached& cached = sensitivity == Qt::CaseInsensitive ? insensitive : sensitive;
    const QLocale current;
    if (current != cached.Locale) {
        cached.Locale = current;
        cached.Collator = zelk::ae::MakeCollator(sensitivity, current);
    }
    return cached.Collator;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

int AnsiCompareText(const QString& S1, const QString& S2) {
    return Sign(ThreadCollator(Qt::CaseInsensitive).compare(S1, S2));
}

int AnsiCompareStr(const QString& S1, const QString& S2) {
    return Sign(ThreadCollator(Qt::CaseSensitive).compare(S1, S2));
}

namespace zelk::ae {

QCollator MakeCollator(Qt::CaseSensitivity sensitivity, const QLocale& locale) {
    // The C locale names no language, and Qt's collator would compare code points there
    // (ignoring the case setting in its sort keys): collate by the default Unicode rules,
    // which English follows, instead.
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(sensitivity);
    return collator;
}

} // namespace zelk::ae
