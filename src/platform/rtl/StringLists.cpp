#include "StringLists.h"

#include "Exceptions.h"

namespace {

void CheckIndex(const QStringList& list, qsizetype index) {
    if (index < 0 || index >= list.size())
        throw EListError::IndexOutOfBounds(index);
}

bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= u' ';
}

bool NeedsQuotes(const QString& line) {
    for (const QChar c : line)
        if (c.unicode() <= u' ' || c == u'"' || c == u',')
            return true;
    return false;
}

} // namespace

QString Names(const QStringList& list, qsizetype index) {
    CheckIndex(list, index);
    const QString& line = list.at(index);
    const qsizetype separator = line.indexOf(u'=');
    return separator < 0 ? QString() : line.left(separator);
}

QString ValueFromIndex(const QStringList& list, qsizetype index) {
    CheckIndex(list, index);
    const QString& line = list.at(index);
    const qsizetype separator = line.indexOf(u'=');
    return separator < 0 ? QString() : line.mid(separator + 1);
}

qsizetype IndexOfName(const QStringList& list, const QString& name) {
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString& line = list.at(i);
        const qsizetype separator = line.indexOf(u'=');
        if (separator >= 0 &&
            QStringView(line).left(separator).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString Values(const QStringList& list, const QString& name) {
    const qsizetype index = IndexOfName(list, name);
    return index < 0 ? QString() : ValueFromIndex(list, index);
}

void SetValues(QStringList& list, const QString& name, const QString& value) {
    const qsizetype index = IndexOfName(list, name);
    if (value.isEmpty()) {
        if (index >= 0)
            list.removeAt(index);
        return;
    }
    const QString line = name + u'=' + value;
    if (index < 0)
        list.append(line);
    else
        list[index] = line;
}

QString CommaText(const QStringList& list) {
    if (list.size() == 1 && list.first().isEmpty())
        return QStringLiteral("\"\"");
    QStringList items;
    items.reserve(list.size());
    for (const QString& line : list) {
        if (NeedsQuotes(line))
            items.append(u'"' + QString(line).replace(u'"', QLatin1String("\"\"")) + u'"');
        else
            items.append(line);
    }
    return items.join(u',');
}

void SetCommaText(QStringList& list, const QString& text) {
    list.clear();
    // A zero character ends the text, as it ends a null-terminated string.
    const qsizetype n = text.indexOf(QChar(u'\0')) < 0 ? text.size() : text.indexOf(QChar(u'\0'));
    qsizetype i = 0;
    while (i < n && IsBlank(text.at(i)))
        ++i;
    while (i < n) {
        QString item;
        if (text.at(i) == u'"') {
            // An unterminated quote takes the rest of the text.
            for (++i; i < n; ++i) {
                if (text.at(i) != u'"') {
                    item += text.at(i);
                } else if (i + 1 < n && text.at(i + 1) == u'"') {
                    item += u'"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
        } else {
            const qsizetype start = i;
            while (i < n && text.at(i).unicode() > u' ' && text.at(i) != u',')
                ++i;
            item = text.mid(start, i - start);
        }
        list.append(item);
        while (i < n && IsBlank(text.at(i)))
            ++i;
        if (i < n && text.at(i) == u',') {
            if (i + 1 == n)
                list.append(QString());
            do
                ++i;
            while (i < n && IsBlank(text.at(i)));
        }
    }
}
