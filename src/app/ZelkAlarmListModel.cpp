#include "ZelkAlarmListModel.h"

#include "ZelkAE.h"

const QColor TZelkAlarmListModel::ActiveColor = QColor(255, 0, 0);
const QColor TZelkAlarmListModel::InactiveColor = QColor(0, 128, 0);

TZelkAlarmListModel::TZelkAlarmListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TZelkAlarmListModel::SetEventServer(TZelkEventServer* server) {
    beginResetModel();
    FServer = server;
    endResetModel();
}

void TZelkAlarmListModel::SetImages(QList<QPixmap> images) {
    FImages = std::move(images);
}

void TZelkAlarmListModel::SetTimeDisplay(TTimeDisplay display) {
    FTimeDisplay = display;
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, ColTime), index(rowCount() - 1, ColTime), {Qt::DisplayRole});
}

void TZelkAlarmListModel::BeginRebuild(int reserve) {
    beginResetModel();
    FRebuilding = true;
    FRows.clear();
    FRows.reserve(static_cast<std::size_t>(std::max(reserve, 0)));
}

void TZelkAlarmListModel::AppendEventRow(int id, int listIndex) {
    FRows.push_back(TRow{id, listIndex, QString()});
}

void TZelkAlarmListModel::AppendPlaceholderRow(const QString& caption) {
    if (FRebuilding) {
        FRows.push_back(TRow{0, -1, caption});
        return;
    }
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    FRows.push_back(TRow{0, -1, caption});
    endInsertRows();
}

void TZelkAlarmListModel::EndRebuild() {
    FRebuilding = false;
    endResetModel();
}

void TZelkAlarmListModel::InsertPlaceholderRow(const QString& caption) {
    beginInsertRows(QModelIndex(), 0, 0);
    FRows.insert(FRows.begin(), TRow{0, -1, caption});
    endInsertRows();
}

void TZelkAlarmListModel::Clear() {
    beginResetModel();
    FRows.clear();
    endResetModel();
}

int TZelkAlarmListModel::RowId(int row) const {
    if (row < 0 || row >= rowCount())
        return 0;
    return FRows[static_cast<std::size_t>(row)].Id;
}

TZelkEvent* TZelkAlarmListModel::EventOfRow(int row) const {
    if (row < 0 || row >= rowCount() || !FServer)
        return nullptr;
    const TRow& r = FRows[static_cast<std::size_t>(row)];
    if (r.Id == 0)
        return nullptr;
    TZelkEvents* events = FServer->Events();
    // The list's order is the one the rows were built from unless something merged or
    // left since the last rebuild: then the event is found by its ID.
    if (r.ListIndex >= 0 && r.ListIndex < events->Count()) {
        TZelkEvent* atPlace = events->Events(r.ListIndex);
        if (atPlace && atPlace->ID() == r.Id)
            return atPlace;
    }
    return events->ById(r.Id);
}

int TZelkAlarmListModel::ImageIndex(int row) const {
    TZelkEvent* event = EventOfRow(row);
    if (!event)
        return 0;
    int image = event->Active() ? 0 : 1;
    if (event->Acknowledged())
        image = image == 0 ? 2 : 3;
    return image;
}

QColor TZelkAlarmListModel::RowColor(int row) const {
    const TZelkEvent* event = EventOfRow(row);
    return !event || event->Active() ? ActiveColor : InactiveColor;
}

int TZelkAlarmListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TZelkAlarmListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString TZelkAlarmListModel::CellText(const TRow& row, TZelkEvent* event, int column) const {
    if (row.Id == 0) {
        switch (column) {
        case ColTime:
            return row.Caption;
        case ColSource:
            return QStringLiteral("Zelk demo client");
        case ColMessage:
            return QStringLiteral("not connected to server");
        default:
            return QStringLiteral("1000");
        }
    }
    if (!event)
        return QString();
    switch (column) {
    case ColTime:
        return DayMonthTimeText(event->Time(), event->RawTime(), FTimeDisplay);
    case ColSource:
        return event->Source();
    case ColMessage:
        // An inactive condition shows what its previous notification said: the message
        // of the return to normal is rarely what the operator needs to read.
        return event->Active() ? event->Msg() : event->LastEvent()->Msg();
    default:
        return QString::number(event->Severity());
    }
}

QVariant TZelkAlarmListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const int row = index.row();
    // A paint must never throw into the event loop: whatever goes wrong draws an empty cell.
    try {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return CellText(FRows[static_cast<std::size_t>(row)], EventOfRow(row), index.column());
        case Qt::ForegroundRole:
            return RowColor(row);
        case Qt::DecorationRole:
            if (index.column() == ColTime) {
                const int image = ImageIndex(row);
                if (image < FImages.size())
                    return FImages.at(image);
            }
            return QVariant();
        case IdRole:
            return RowId(row);
        case ImageIndexRole:
            return ImageIndex(row);
        default:
            return QVariant();
        }
    } catch (...) {
        return QVariant();
    }
}

QVariant TZelkAlarmListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case ColTime:
        return QStringLiteral("Date/Time");
    case ColSource:
        return QStringLiteral("Source");
    case ColMessage:
        return QStringLiteral("Message");
    case ColSeverity:
        return QStringLiteral("Serverity");
    default:
        return QVariant();
    }
}
