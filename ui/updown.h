#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

class QToolButton;

namespace zeltrac::ui {

// A spinner bound to a one-line edit: two arrow buttons, a position within a
// range with no wrap-around at the ends, and the arrow keys of the edit
// stepping it. Each step writes the position into the edit as decimal text.
// Text typed into the edit becomes the position when it is a whole number
// within the range; other text leaves the position as it was.
class UpDown : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int position READ position WRITE setPosition)

public:
    explicit UpDown(QWidget* parent = nullptr);

    int minimum() const { return m_minimum; }
    void setMinimum(int minimum);
    int maximum() const { return m_maximum; }
    void setMaximum(int maximum);

    int position() const { return m_position; }
    // Clamps to the range and writes the position into the edit.
    void setPosition(int position);

    // Steps by `steps` (clamped at the ends) and writes the position.
    void stepBy(int steps);

    // The edit the spinner writes to and reads from. The spinner takes its
    // text changes before any handler connected later, so such a handler
    // reads the position the text has just given.
    QLineEdit* associate() const { return m_associate; }
    void setAssociate(QLineEdit* edit);

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void takeText(const QString& text);
    void writePosition();

    QPointer<QLineEdit> m_associate;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_position = 0;
};

} // namespace zeltrac::ui
