#pragma once

// Locale-aware text comparison, as the runtime library's AnsiCompareText (case ignored)
// and AnsiCompareStr (case significant) give it: the collation of the user's locale,
// which on this platform is the default QLocale. Under the C locale, which names no
// language, texts collate by the default Unicode rules (as English does).

#include <QCollator>
#include <QLocale>
#include <QString>

// Negative, 0 or positive. Texts that differ only in letter case compare equal.
int AnsiCompareText(const QString& S1, const QString& S2);
// Negative, 0 or positive; letter case counts (lower case before upper case).
int AnsiCompareStr(const QString& S1, const QString& S2);

namespace zelk::ae {

// A collator for `locale`, ignoring case or not. Each thread gets its own: a QCollator
// must not be used by two threads at once.
QCollator MakeCollator(Qt::CaseSensitivity sensitivity, const QLocale& locale = QLocale());

} // namespace zelk::ae
