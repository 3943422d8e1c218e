#pragma once

// TZelkTabControl: a row of tabs over one client area that all tabs share, the way the
// filter dialog shows one list for its three tabs: the controls inside stay the same,
// and the owner refills them when the tab changes. The tabs are flat buttons.

#include <QWidget>

class QTabBar;

class TZelkTabControl : public QWidget {
    Q_OBJECT

public:
    explicit TZelkTabControl(QWidget* parent = nullptr);
    ~TZelkTabControl() override;

    void AddTab(const QString& Caption);
    int TabCount() const;
    QString TabCaption(int Index) const;
    // The current tab; -1 without tabs.
    int TabIndex() const;
    // Selects a tab without firing Change, as a program's own change does not.
    void SetTabIndex(int Index);
    QTabBar* TabBar() const noexcept { return FTabs; }

Q_SIGNALS:
    // The user selected another tab.
    void Change();

protected:
    void resizeEvent(QResizeEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    void PlaceTabs();

    QTabBar* FTabs;
    bool FSettingIndex = false;
};
