#include "ZelkJournalQuery.h"

namespace zelk::journal {

QString TSqlCondition::Where() const {
    return Clauses.isEmpty() ? QString()
                             : QStringLiteral(" WHERE ") + Clauses.join(QLatin1String(" AND "));
}

void AddTextCondition(TSqlCondition& Sql, TZelkJournalBackend Backend, const QStringList& Columns,
                      const TZelkTextFilter& Filter) {
    if (Filter.Text.isEmpty() || Columns.isEmpty())
        return;
    const bool sqlite = Backend == TZelkJournalBackend::SQLite;
    QString text = Filter.Text;
    // PostgreSQL's text holds no NUL: the journal stores U+FFFD in its place.
    if (!sqlite)
        text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    QString clause;
    switch (Filter.Match) {
    case TZelkTextMatch::Exact:
        clause = QStringLiteral("%1 = ?");
        break;
    case TZelkTextMatch::Substring:
        clause = sqlite ? QStringLiteral("instr(lower(%1), ?) > 0")
                        : QStringLiteral("strpos(lower(%1), ?) > 0");
        text = text.toLower();
        break;
    case TZelkTextMatch::Wildcard: {
        const std::optional<QString> pattern =
            sqlite ? WildcardToGlob(text) : WildcardToRegex(text);
        if (!pattern) {
            Sql.Clauses << QStringLiteral("1 = 0");
            return;
        }
        text = *pattern;
        clause = sqlite ? QStringLiteral("%1 GLOB ?") : QStringLiteral("%1 ~ ?");
        break;
    }
    }
    QStringList alternatives;
    for (const QString& column : Columns) {
        alternatives << clause.arg(column);
        Sql.Values << text;
    }
    Sql.Clauses << (alternatives.size() == 1
                        ? alternatives.first()
                        : QLatin1Char('(') + alternatives.join(QLatin1String(" OR ")) +
                              QLatin1Char(')'));
}

namespace {

void AddRange(TSqlCondition& sql, const QString& column, std::optional<std::int64_t> from,
              std::optional<std::int64_t> to) {
    if (from) {
        sql.Clauses << column + QStringLiteral(" >= ?");
        sql.Values << qlonglong{*from};
    }
    if (to) {
        sql.Clauses << column + QStringLiteral(" < ?");
        sql.Values << qlonglong{*to};
    }
}

void AddIn(TSqlCondition& sql, const QString& column, const QStringList& values) {
    if (values.isEmpty())
        return;
    QStringList marks;
    for (const QString& value : values) {
        marks << QStringLiteral("?");
        sql.Values << value;
    }
    sql.Clauses << column + QStringLiteral(" IN (") + marks.join(QLatin1Char(',')) +
                       QLatin1Char(')');
}

void AddPage(TSqlCondition& sql, const QString& key, const TZelkJournalPage& page) {
    if (page.After <= 0)
        return;
    sql.Clauses << key + (page.NewestFirst ? QStringLiteral(" < ?") : QStringLiteral(" > ?"));
    sql.Values << qlonglong{page.After};
}

} // namespace

TSqlCondition NotificationCondition(const TZelkJournalFilter& Filter, TZelkJournalBackend Backend,
                                    const TZelkJournalPage& Page) {
    TSqlCondition sql;
    AddRange(sql, QStringLiteral("n.time_raw"), Filter.From, Filter.To);
    if (Filter.EventTypes != 0) {
        sql.Clauses << QStringLiteral("(n.event_type & ?) <> 0");
        sql.Values << Filter.EventTypes;
    }
    if (Filter.SeverityLow) {
        sql.Clauses << QStringLiteral("n.severity >= ?");
        sql.Values << *Filter.SeverityLow;
    }
    if (Filter.SeverityHigh) {
        sql.Clauses << QStringLiteral("n.severity <= ?");
        sql.Values << *Filter.SeverityHigh;
    }
    AddIn(sql, QStringLiteral("n.category_name"), Filter.Categories);
    AddTextCondition(sql, Backend, {QStringLiteral("n.source")}, Filter.Source);
    AddTextCondition(sql, Backend, {QStringLiteral("n.condition")}, Filter.Condition);
    AddTextCondition(sql, Backend, {QStringLiteral("n.message")}, Filter.Message);
    AddTextCondition(
        sql, Backend,
        {QStringLiteral("n.source"), QStringLiteral("n.condition"), QStringLiteral("n.message")},
        Filter.AnyText);
    AddPage(sql, QStringLiteral("n.id"), Page);
    return sql;
}

TSqlCondition ActionCondition(const TZelkActionFilter& Filter, TZelkJournalBackend Backend,
                              const TZelkJournalPage& Page) {
    TSqlCondition sql;
    AddRange(sql, QStringLiteral("a.received"), Filter.From, Filter.To);
    AddIn(sql, QStringLiteral("a.kind"), Filter.Kinds);
    AddTextCondition(sql, Backend,
                     {QStringLiteral("a.who"), QStringLiteral("a.comment"),
                      QStringLiteral("a.reason"), QStringLiteral("s.server")},
                     Filter.AnyText);
    AddPage(sql, QStringLiteral("a.id"), Page);
    return sql;
}

QString PageOrder(const QString& Key, const TZelkJournalPage& Page) {
    return QStringLiteral(" ORDER BY %1 %2 LIMIT %3")
        .arg(Key, Page.NewestFirst ? QStringLiteral("DESC") : QStringLiteral("ASC"))
        .arg(std::max(Page.Limit, 1));
}

} // namespace zelk::journal
