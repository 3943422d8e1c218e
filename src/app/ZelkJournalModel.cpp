#include "ZelkJournalModel.h"

#include "ZelkEventRecord.h"
#include "opc_ae.h"

namespace {

const QStringList NotificationHeaders = {
    QStringLiteral("Time"),          QStringLiteral("Source"),   QStringLiteral("Condition"),
    QStringLiteral("Sub-condition"), QStringLiteral("Severity"), QStringLiteral("State"),
    QStringLiteral("Message"),       QStringLiteral("Category"), QStringLiteral("Server")};
const QStringList ActionHeaders = {QStringLiteral("Time"),    QStringLiteral("Action"),
                                   QStringLiteral("Who"),     QStringLiteral("Comment"),
                                   QStringLiteral("Details"), QStringLiteral("Server")};

QString LocalText(std::int64_t ticks) {
    if (ticks == 0)
        return QString();
    return zelk::journal::DateTimeFromTicks(ticks).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

QString StateLetters(int state) {
    return QStringLiteral("%1 %2 %3")
        .arg(state & OPC_CONDITION_ACTIVE ? QStringLiteral("ACT") : QStringLiteral("---"),
             state & OPC_CONDITION_ACKED ? QStringLiteral("ACK") : QStringLiteral("---"),
             state & OPC_CONDITION_ENABLED ? QStringLiteral("ENA") : QStringLiteral("---"));
}

QString ServerText(const TZelkJournalServer& server) {
    return server.Computer.isEmpty() ? server.Server
                                     : server.Server + QStringLiteral(" on ") + server.Computer;
}

} // namespace

TZelkJournalModel::TZelkJournalModel(QObject* parent) : QAbstractTableModel(parent) {}

TZelkJournalModel::~TZelkJournalModel() = default;

void TZelkJournalModel::Clear() {
    beginResetModel();
    FReader.reset();
    FNotifications.clear();
    FActionRows.clear();
    FAtEnd = true;
    endResetModel();
}

void TZelkJournalModel::ShowNotifications(const QString& Url, const TZelkJournalFilter& Filter) {
    Clear();
    beginResetModel();
    FActions = false;
    FFilter = Filter;
    try {
        FReader = std::make_unique<TZelkJournalReader>(Url);
        FAtEnd = !ReadPage(FNotifications, FActionRows);
    } catch (...) {
        FReader.reset();
        FAtEnd = true;
        endResetModel();
        throw;
    }
    endResetModel();
}

void TZelkJournalModel::ShowActions(const QString& Url, const TZelkActionFilter& Filter) {
    Clear();
    beginResetModel();
    FActions = true;
    FActionFilter = Filter;
    try {
        FReader = std::make_unique<TZelkJournalReader>(Url);
        FAtEnd = !ReadPage(FNotifications, FActionRows);
    } catch (...) {
        FReader.reset();
        FAtEnd = true;
        endResetModel();
        throw;
    }
    endResetModel();
}

bool TZelkJournalModel::ReadPage(std::vector<TZelkJournalNotification>& Notifications,
                                 std::vector<TZelkJournalActionRow>& Actions) {
    if (!FReader)
        return false;
    TZelkJournalPage page;
    page.Limit = PageSize;
    if (FActions) {
        page.After = FActionRows.empty() ? 0 : FActionRows.back().Id;
        Actions = FReader->Actions(FActionFilter, page);
        return static_cast<int>(Actions.size()) == PageSize;
    }
    page.After = FNotifications.empty() ? 0 : FNotifications.back().Id;
    Notifications = FReader->Notifications(FFilter, page);
    return static_cast<int>(Notifications.size()) == PageSize;
}

bool TZelkJournalModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !FAtEnd;
}

void TZelkJournalModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid() || FAtEnd)
        return;
    std::vector<TZelkJournalNotification> notifications;
    std::vector<TZelkJournalActionRow> actions;
    try {
        FAtEnd = !ReadPage(notifications, actions);
    } catch (...) {
        // A page that cannot be read ends the paging; the rows read so far stay.
        FAtEnd = true;
        return;
    }
    const int count = static_cast<int>(FActions ? actions.size() : notifications.size());
    if (count == 0)
        return;
    beginInsertRows(QModelIndex(), rowCount(), rowCount() + count - 1);
    std::move(actions.begin(), actions.end(), std::back_inserter(FActionRows));
    std::move(notifications.begin(), notifications.end(), std::back_inserter(FNotifications));
    endInsertRows();
}

int TZelkJournalModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return FActions ? static_cast<int>(FActionRows.size())
                    : static_cast<int>(FNotifications.size());
}

int TZelkJournalModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return static_cast<int>(FActions ? ActionHeaders.size() : NotificationHeaders.size());
}

QString TZelkJournalModel::NotificationText(const TZelkJournalNotification& Row, int Column) const {
    const TZelkEventRecord& e = Row.Event;
    switch (Column) {
    case 0:
        return LocalText(Ticks(e.Time));
    case 1:
        return e.Source;
    case 2:
        return e.Condition;
    case 3:
        return e.SubCondition;
    case 4:
        return QString::number(e.Severity);
    case 5:
        return e.EventType == OPC_CONDITION_EVENT
                   ? StateLetters(e.NewState)
                   : QString::fromLatin1(zelk::ae::EventTypeName(e.EventType));
    case 6:
        return e.Message;
    case 7:
        return e.CategoryName;
    default:
        return ServerText(Row.Server);
    }
}

QString TZelkJournalModel::ActionText(const TZelkJournalActionRow& Row, int Column) const {
    const TZelkJournalAction& a = Row.Action;
    switch (Column) {
    case 0:
        return LocalText(Row.Received);
    case 1:
        return a.Kind;
    case 2:
        return a.Who;
    case 3:
        return a.Comment;
    case 4: {
        QStringList details;
        if (!a.Reason.isEmpty())
            details << a.Reason;
        for (const TZelkAckResult& result : a.Results)
            details << QStringLiteral("%1 %2: %3")
                           .arg(result.Source, result.Condition,
                                result.Result == S_OK ? QStringLiteral("ok")
                                                      : QStringLiteral("0x%1").arg(
                                                            static_cast<quint32>(result.Result), 8,
                                                            16, QLatin1Char('0')));
        if (a.Results.empty() && a.Count > 0)
            details << QString::number(a.Count);
        return details.join(QStringLiteral("; "));
    }
    default:
        return ServerText(Row.Server);
    }
}

QVariant TZelkJournalModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QVariant();
    const auto row = static_cast<std::size_t>(index.row());
    return FActions ? ActionText(FActionRows[row], index.column())
                    : NotificationText(FNotifications[row], index.column());
}

QVariant TZelkJournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return (FActions ? ActionHeaders : NotificationHeaders).value(section);
}
