#pragma once

// TZelkAlarmListModel: the rows of the main window's alarm list. A row holds the ID of
// an event of the event server's list, never the event itself: a merge replaces the
// object behind an ID, and an event may be destroyed between two rebuilds. The text,
// colour and image of a row are built when the view asks for them, so a rebuild costs
// one integer per event however long the list is.
//
// Rows whose ID is 0 are placeholder rows ("not connected"); they carry their own
// caption, the time at which they were added.

#include "ZelkTimeDisplay.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <vector>

class TZelkEvent;
class TZelkEventServer;

class TZelkAlarmListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum { ColTime, ColSource, ColMessage, ColSeverity, ColumnCount };
    // The ID a row stores, read through data() with this role.
    static constexpr int IdRole = Qt::UserRole;
    // The index of the row's image in the bell images (0 to 3).
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    // The red of a row with no event or an active event, the green of an inactive one.
    static const QColor ActiveColor;
    static const QColor InactiveColor;

    explicit TZelkAlarmListModel(QObject* parent = nullptr);

    // The server whose events the rows stand for; rows are looked up in its list.
    void SetEventServer(TZelkEventServer* server);
    // The four row images, indexed as ImageIndexRole gives.
    void SetImages(QList<QPixmap> images);
    // Local time or UTC in the Date/Time column; the rows are repainted.
    void SetTimeDisplay(TTimeDisplay display);
    TTimeDisplay TimeDisplay() const noexcept { return FTimeDisplay; }

    // ---- rebuilding (one reset per rebuild) ----
    void BeginRebuild(int reserve);
    // Appends a row for the event at position ListIndex of the event list.
    void AppendEventRow(int id, int listIndex);
    void AppendPlaceholderRow(const QString& caption);
    void EndRebuild();
    // Inserts one placeholder row in front of every row.
    void InsertPlaceholderRow(const QString& caption);
    void Clear();

    // The ID the row stores; 0 for a placeholder row or a row out of range.
    int RowId(int row) const;
    // The event behind a row: the one whose ID the row stores, or null.
    TZelkEvent* EventOfRow(int row) const;
    // The image index and the text colour the row is drawn with.
    int ImageIndex(int row) const;
    QColor RowColor(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct TRow {
        int Id = 0;
        // Where the event was in the list's order when the row was built: the event is
        // looked up there first, and by ID only when the list has changed since.
        int ListIndex = -1;
        QString Caption; // placeholder rows only
    };

    QString CellText(const TRow& row, TZelkEvent* event, int column) const;

    std::vector<TRow> FRows;
    QPointer<TZelkEventServer> FServer;
    QList<QPixmap> FImages;
    bool FRebuilding = false;
    TTimeDisplay FTimeDisplay = TTimeDisplay::Local;
};
