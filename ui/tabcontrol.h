#pragma once

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QTabBar;

namespace zeltrac::ui {

// A tab strip over one shared page: the controls placed on it stay the same
// whichever tab is selected, and their positions count from the control's
// top-left corner, the tabs included. Selecting a tab only reports it; once
// the report is handled, the keyboard focus goes back to the control that
// had it when that tab was last left, if it can take it.
class TabControl : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QStringList tabs READ tabs WRITE setTabs)

public:
    explicit TabControl(QWidget* parent = nullptr);

    QTabBar* tabBar() const { return m_tabBar; }

    QStringList tabs() const;
    void setTabs(const QStringList& captions);

    int tabIndex() const;
    void setTabIndex(int index);

signals:
    // The selected tab has changed (the index has already changed).
    void changed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeTabBar();
    void tabChanged(int index);

    QTabBar* m_tabBar;
    int m_lastIndex = -1;
    QHash<int, QPointer<QWidget>> m_focusOfTab; // the focus when each tab was left
};

} // namespace zeltrac::ui
