#include "ui/updown.h"

#include <algorithm>

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include "calc/numtext.h"

namespace zeltrac::ui {

UpDown::UpDown(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    setFocusPolicy(Qt::NoFocus);
    for (QToolButton* button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setIconSize(QSize(7, 4));
    }
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::setMinimum(int minimum)
{
    m_minimum = minimum;
    m_maximum = qMax(m_maximum, minimum);
    m_position = qBound(m_minimum, m_position, m_maximum);
}

void UpDown::setMaximum(int maximum)
{
    m_maximum = maximum;
    m_minimum = qMin(m_minimum, maximum);
    m_position = qBound(m_minimum, m_position, m_maximum);
}

void UpDown::setPosition(int position)
{
    m_position = qBound(m_minimum, position, m_maximum);
    writePosition();
}

void UpDown::stepBy(int steps)
{
    // Widened so that no step can overflow.
    const qint64 target = qint64(m_position) + steps;
    setPosition(int(std::clamp<qint64>(target, m_minimum, m_maximum)));
}

void UpDown::setAssociate(QLineEdit* edit)
{
    if (m_associate) {
        m_associate->removeEventFilter(this);
        disconnect(m_associate, nullptr, this, nullptr);
    }
    m_associate = edit;
    if (edit) {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, &UpDown::takeText);
    }
}

bool UpDown::eventFilter(QObject* watched, QEvent* event)
{
    // The event type is looked at first: the edit may be half destroyed when
    // it sends its last events, and must not be looked at as a QLineEdit then.
    if (event->type() == QEvent::KeyPress && isEnabled() && watched == m_associate) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            stepBy(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDown::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

void UpDown::takeText(const QString& text)
{
    const std::optional<std::int32_t> value = numtext::parseWhole(text.toStdString());
    if (value && *value >= m_minimum && *value <= m_maximum)
        m_position = *value;
}

void UpDown::writePosition()
{
    if (m_associate)
        m_associate->setText(QString::number(m_position));
}

} // namespace zeltrac::ui
