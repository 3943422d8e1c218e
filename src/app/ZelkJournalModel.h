#pragma once

// TZelkJournalModel: the rows of the History page, read from a journal page by page as
// the view scrolls (keyset paging: each page starts after the last row's key), newest
// first, so a journal of millions of notifications opens as fast as one of a hundred.
// It shows either notifications or operator actions.

#include "ZelkJournal.h"

#include <QAbstractTableModel>
#include <memory>
#include <vector>

class TZelkJournalModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 200;

    explicit TZelkJournalModel(QObject* parent = nullptr);
    ~TZelkJournalModel() override;

    // Reads the first page of the notifications Filter selects from the journal at Url;
    // raises when the journal cannot be read, leaving the model empty.
    void ShowNotifications(const QString& Url, const TZelkJournalFilter& Filter);
    // The same for the operator actions.
    void ShowActions(const QString& Url, const TZelkActionFilter& Filter);
    void Clear();
    bool ShowsActions() const noexcept { return FActions; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    // Reads the page after the rows held into the list of the kind shown; false when the
    // journal has no more rows.
    bool ReadPage(std::vector<TZelkJournalNotification>& Notifications,
                  std::vector<TZelkJournalActionRow>& Actions);
    QString NotificationText(const TZelkJournalNotification& Row, int Column) const;
    QString ActionText(const TZelkJournalActionRow& Row, int Column) const;

    std::unique_ptr<TZelkJournalReader> FReader;
    TZelkJournalFilter FFilter;
    TZelkActionFilter FActionFilter;
    bool FActions = false;
    bool FAtEnd = true;
    std::vector<TZelkJournalNotification> FNotifications;
    std::vector<TZelkJournalActionRow> FActionRows;
};
