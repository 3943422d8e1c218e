#pragma once

// TZelkSelCatDlg: picks the categories of a filter, by name, from the server's
// categories.

#include "ZelkEventServer.h"
#include "ZelkPickList.h"

#include <QPointer>
#include <QStringList>
#include <memory>

namespace Ui {
class TZelkSelCatDlg;
}

class TZelkSelCatDlg : public TZelkPickListDlg {
    Q_OBJECT

public:
    explicit TZelkSelCatDlg(QWidget* parent = nullptr);
    ~TZelkSelCatDlg() override;

    TZelkEventServer* OPCServer() const noexcept { return FOPCServer; }
    void SetOPCServer(TZelkEventServer* Value) noexcept { FOPCServer = Value; }

    // With an active server: every category name not selected yet on the left.
    // Otherwise "server not active" stays on and the left list stays empty.
    void FormShow() override;

private:
    std::unique_ptr<Ui::TZelkSelCatDlg> ui;
    QPointer<TZelkEventServer> FOPCServer;
};

// Shows the categories with List on the right; on OK List takes the right list and the
// result is true. Cancel leaves List alone.
bool SelectCategories(TZelkEventServer* Server, QStringList& List, QWidget* Parent = nullptr);
