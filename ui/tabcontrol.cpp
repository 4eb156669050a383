#include "ui/tabcontrol.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

namespace zeltrac::ui {

TabControl::TabControl(QWidget* parent) : QWidget(parent), m_tabBar(new QTabBar(this))
{
    m_tabBar->setObjectName(QStringLiteral("tabBar"));
    m_tabBar->setDrawBase(false);
    m_tabBar->setExpanding(false);
    m_tabBar->setUsesScrollButtons(false);
    connect(m_tabBar, &QTabBar::currentChanged, this, &TabControl::changed);
}

QStringList TabControl::tabs() const
{
    QStringList captions;
    for (int i = 0; i < m_tabBar->count(); ++i)
        captions << m_tabBar->tabText(i);
    return captions;
}

void TabControl::setTabs(const QStringList& captions)
{
    const QSignalBlocker blocker(m_tabBar);
    while (m_tabBar->count() > 0)
        m_tabBar->removeTab(0);
    for (const QString& caption : captions)
        m_tabBar->addTab(caption);
    placeTabBar();
}

int TabControl::tabIndex() const
{
    return m_tabBar->currentIndex();
}

void TabControl::setTabIndex(int index)
{
    m_tabBar->setCurrentIndex(index);
}

void TabControl::placeTabBar()
{
    const QSize hint = m_tabBar->sizeHint();
    m_tabBar->setGeometry(2, 0, qMin(hint.width(), width() - 4), hint.height());
    update();
}

void TabControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeTabBar();
}

void TabControl::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.shape = QTabBar::RoundedNorth;
    option.tabBarSize = m_tabBar->size();
    option.tabBarRect = m_tabBar->geometry();
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int top = m_tabBar->geometry().bottom() + 1 -
                    style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    option.rect = rect().adjusted(0, qMax(0, top), 0, 0);
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, option);
}

} // namespace zeltrac::ui
