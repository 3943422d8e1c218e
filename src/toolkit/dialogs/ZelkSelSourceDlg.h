#pragma once

// TZelkSelectSourceDlg: picks the sources of a filter, as fully qualified source names,
// by walking the server's area tree: the left list shows the areas (folders) and sources
// (bells) at the browser's position; an area opens with a double-click or Space,
// Backspace or the folder button goes one level up, and ">" adds the selected sources.

#include "ZelkDialog.h"
#include "ZelkEventAreaBrowser.h"

#include <QPointer>
#include <QStringList>
#include <memory>

class QTreeWidgetItem;

namespace Ui {
class TZelkSelectSourceDlg;
}

class TZelkSelectSourceDlg : public TZelkDialog {
    Q_OBJECT

public:
    // The picture of a row of ListView: its index in ImageList1.
    enum TRowImage { riArea = 0, riSource = 1 };

    explicit TZelkSelectSourceDlg(QWidget* parent = nullptr);
    ~TZelkSelectSourceDlg() override;

    TZelkEventAreaBrowser* Browser() const noexcept { return FBrowser; }
    void SetBrowser(TZelkEventAreaBrowser* Value) noexcept { FBrowser = Value; }

    // With an active server: the areas and sources at the browser's position, which is
    // wherever its last user left it. Otherwise "server not active" stays on.
    void FormShow() override;
    // ">" and ">>" enabled exactly when ListView shows a source, "<" and "<<" exactly when
    // the right list has entries.
    void SetButtons();
    void ListViewDblClick();
    void bBackClick();
    // Backspace goes up, Space opens the area, Right arrow adds the selected sources.
    // Whether the key moved to another position (and so replaced the list).
    bool ListViewKeyDown(int Key);
    // Left arrow and Delete remove the selected right entries.
    void DstListKeyDown(int Key);

    // Lists the browser's position. A failing listing leaves the list empty and raises.
    void FillList();
    // Opens the selected area; whether it moved.
    bool OpenArea();
    // One level up, unless at the root.
    void GoBack();
    // Adds the qualified names of the selected sources (every source listed here when
    // All), unless the right list holds them already (case ignored).
    void IncludeSources(bool All);
    // Removes the selected right entries (every entry when All).
    void ExcludeSources(bool All);

    // The right list's entries in order; replaced by SetSelected.
    QStringList Selected() const;
    void SetSelected(const QStringList& Entries);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    static TRowImage ImageOf(const QTreeWidgetItem* Row);

    std::unique_ptr<Ui::TZelkSelectSourceDlg> ui;
    QPointer<TZelkEventAreaBrowser> FBrowser;
};

// Shows the source picker with List on the right; on OK List takes the right list and
// the result is true. Cancel leaves List alone.
bool SelectSources(TZelkEventAreaBrowser* Browser, QStringList& List, QWidget* Parent = nullptr);
