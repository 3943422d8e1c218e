#pragma once

// TZelkEvSortDlg: picks the sort order of the event list: which event properties to sort
// by, in which order, each ascending or descending. A sort key is a property name,
// followed by " (D)" for descending order. Double-clicking a selected key toggles its
// order; its context menu moves it up or down.

#include "ZelkPickList.h"

#include <QStringList>
#include <memory>

class TZelkEventServer;

namespace Ui {
class TZelkEvSortDlg;
}

// Without the descending mark: the text before "(D)" less the blank in front of it.
QString StripDescending(const QString& S);
// Adds the descending mark, or strips it when S has one.
QString ToggleDescending(const QString& S);
// The names of the event record's published properties, in their declared order: the
// keys the sort dialog offers.
QStringList ZelkEventPropertyNames();

class TZelkEvSortDlg : public TZelkPickListDlg {
    Q_OBJECT

public:
    explicit TZelkEvSortDlg(QWidget* parent = nullptr);
    ~TZelkEvSortDlg() override;

    // The sort keys, in and out.
    QStringList& SortProps() noexcept { return FSortProps; }

    // The chosen keys on the right with their marks; every other property on the left.
    void FormShow() override;
    // Toggles the order of the right list's current key.
    void DstListDblClick();
    void Moveup1Click();
    void Movedown1Click();
    // Takes the right list into SortProps and closes with OK.
    void bOkClick();

protected:
    QString LeavingDst(const QString& Text) const override { return StripDescending(Text); }

private:
    std::unique_ptr<Ui::TZelkEvSortDlg> ui;
    QStringList FSortProps;
};

// Shows the server's sort keys ("none" left out); on OK the server takes the chosen keys
// (an empty list sorts by nothing) and the result is true. Cancel changes nothing.
bool ShowEventSortDlg(TZelkEventServer* Server, QWidget* Parent = nullptr);
