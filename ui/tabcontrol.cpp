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
    connect(m_tabBar, &QTabBar::currentChanged, this, &TabControl::tabChanged);
}

void TabControl::tabChanged(int index)
{
    // Whatever the handler hides or disables, the control the user left
    // keeps its state and gets the focus back on the return.
    if (m_lastIndex >= 0) {
        QWidget* focus = window()->focusWidget();
        m_focusOfTab[m_lastIndex] = focus && window()->isAncestorOf(focus) ? focus : nullptr;
    }
    m_lastIndex = index;
    emit changed();

    if (m_tabBar->currentIndex() != index)
        return; // the handler chose another tab
    const auto canTakeFocus = [](const QWidget* widget) {
        return widget && widget->isVisible() && widget->isEnabled() &&
               widget->focusPolicy() != Qt::NoFocus;
    };
    const QPointer<QWidget> saved = m_focusOfTab.value(index);
    if (canTakeFocus(saved)) {
        saved->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A hidden or disabled control keeps no focus: typing would change it
    // unseen. The focus goes on to the first control that can take it.
    QWidget* focus = window()->focusWidget();
    if (!focus || canTakeFocus(focus))
        return;
    for (QWidget* next = focus->nextInFocusChain(); next != focus;
         next = next->nextInFocusChain()) {
        if (next->window() == window() && canTakeFocus(next) &&
            (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    focus->clearFocus();
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
    m_lastIndex = m_tabBar->currentIndex();
    m_focusOfTab.clear();
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
