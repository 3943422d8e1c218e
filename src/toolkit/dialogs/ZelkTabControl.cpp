#include "ZelkTabControl.h"

#include <QEvent>
#include <QTabBar>

TZelkTabControl::TZelkTabControl(QWidget* parent) : QWidget(parent), FTabs(new QTabBar(this)) {
    FTabs->setObjectName(QStringLiteral("Tabs"));
    FTabs->setDocumentMode(true);
    FTabs->setDrawBase(false);
    FTabs->setExpanding(false);
    connect(FTabs, &QTabBar::currentChanged, this, [this] {
        if (!FSettingIndex)
            Q_EMIT Change();
    });
    PlaceTabs();
}

TZelkTabControl::~TZelkTabControl() = default;

void TZelkTabControl::AddTab(const QString& Caption) {
    FSettingIndex = true;
    FTabs->addTab(Caption);
    FSettingIndex = false;
    PlaceTabs();
}

int TZelkTabControl::TabCount() const {
    return FTabs->count();
}

QString TZelkTabControl::TabCaption(int Index) const {
    return FTabs->tabText(Index);
}

int TZelkTabControl::TabIndex() const {
    return FTabs->currentIndex();
}

void TZelkTabControl::SetTabIndex(int Index) {
    FSettingIndex = true;
    FTabs->setCurrentIndex(Index);
    FSettingIndex = false;
}

void TZelkTabControl::PlaceTabs() {
    // The shared client area starts below the tabs; a layout set on this control keeps
    // to the contents rectangle.
    const int height = FTabs->sizeHint().height();
    FTabs->setGeometry(0, 0, width(), height);
    setContentsMargins(0, height, 0, 0);
}

void TZelkTabControl::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    PlaceTabs();
}

bool TZelkTabControl::event(QEvent* Event) {
    if (Event->type() == QEvent::FontChange || Event->type() == QEvent::StyleChange)
        PlaceTabs();
    return QWidget::event(Event);
}
