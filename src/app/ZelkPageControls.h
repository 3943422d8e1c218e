#pragma once

// Pieces the journal's pages (History, Statistics) build their controls from.

#include <QDateTime>
#include <QDateTimeEdit>
#include <QString>

namespace zelk::app {

// Widget with its object name (the tests and the settings find controls by it).
template <class T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A from - to pair of time edits to the minute with calendars, set to the last day.
inline void SetUpRangeEdits(QDateTimeEdit* From, QDateTimeEdit* To) {
    const QDateTime now = QDateTime::currentDateTime();
    for (QDateTimeEdit* edit : {From, To}) {
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd hh:mm"));
        edit->setCalendarPopup(true);
    }
    From->setDateTime(now.addDays(-1));
    To->setDateTime(now);
}

} // namespace zelk::app
