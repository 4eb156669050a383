#include "ui/textgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QStyledItemDelegate>

#include "ui/errorbox.h"
#include "workbook/tabtext.h"

namespace zeltrac::ui {

namespace {

// The cell editor hands every change to the grid at once, so the cell always
// holds what the editor shows, whether or not the editor is still open when
// the grid is read.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override
    {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        auto* self = const_cast<CellDelegate*>(this);
        connect(editor, &QLineEdit::textEdited, self,
                [self, editor] { emit self->commitData(editor); });
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* line = static_cast<QLineEdit*>(editor);
        const QString text = index.data(Qt::EditRole).toString();
        // Leaves the editor's cursor alone when the text is its own.
        if (line->text() != text)
            line->setText(text);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        auto* line = static_cast<QLineEdit*>(editor);
        // A refused text leaves the cell as it was, and the editor shows it so.
        if (!model->setData(index, line->text(), Qt::EditRole))
            line->setText(index.data(Qt::EditRole).toString());
    }
};

} // namespace

TextGrid::TextGrid(QWidget* parent) : QTableView(parent), m_model(new TextGridModel(this))
{
    setModel(m_model);
    showRefusals();
    setItemDelegate(new CellDelegate(this));
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->hide();
        header->setMinimumSectionSize(1);
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setSectionsMovable(false);
        header->setHighlightSections(false);
    }
    horizontalHeader()->setDefaultSectionSize(m_cellWidth);
    verticalHeader()->setDefaultSectionSize(m_cellHeight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerPixel);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(true);
    setSelectionMode(ContiguousSelection);
    setSelectionBehavior(SelectItems);
    setEditable(true);
    setBordered(false);

    // A grid that is only shown (disabled) still reads like a table: its
    // texts keep the normal colours.
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::Base, QPalette::WindowText})
        pal.setColor(QPalette::Disabled, role, pal.color(QPalette::Active, role));
    setPalette(pal);
}

void TextGrid::setTextModel(TextGridModel* model)
{
    if (model == nullptr || model == m_model)
        return;
    const bool editable = isEditable();
    disconnect(m_model, &TextGridModel::editRefused, this, nullptr);
    m_model = model;
    setModel(model);
    m_model->setEditable(editable);
    showRefusals();
}

void TextGrid::showRefusals()
{
    connect(m_model, &TextGridModel::editRefused, this,
            [this](const QString& message) { showErrorBox(this, message); });
}

void TextGrid::setColCount(int columns)
{
    m_model->setColumns(columns);
}

void TextGrid::setRowCount(int rows)
{
    m_model->setRows(rows);
}

void TextGrid::setCellWidth(int width)
{
    m_cellWidth = width;
    horizontalHeader()->setDefaultSectionSize(width);
}

void TextGrid::setCellHeight(int height)
{
    m_cellHeight = height;
    verticalHeader()->setDefaultSectionSize(height);
}

void TextGrid::setEditable(bool editable)
{
    m_model->setEditable(editable);
    setEditTriggers(editable ? (DoubleClicked | EditKeyPressed | AnyKeyPressed) : NoEditTriggers);
}

bool TextGrid::isBordered() const
{
    return frameShape() == QFrame::Box;
}

void TextGrid::setBordered(bool bordered)
{
    if (bordered) {
        setFrameShape(QFrame::Box);
        setFrameShadow(QFrame::Plain);
        setLineWidth(1);
    } else {
        setFrameShape(QFrame::NoFrame);
    }
}

QModelIndex TextGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    if (cursorAction != MoveNext && cursorAction != MovePrevious)
        return QTableView::moveCursor(cursorAction, modifiers);
    const int columns = colCount();
    const int rows = rowCount();
    if (columns <= 0 || rows <= 0)
        return {};
    const QModelIndex current = currentIndex();
    const int cells = columns * rows;
    int position = current.isValid() ? current.row() * columns + current.column() : -1;
    if (cursorAction == MoveNext)
        position = (position + 1) % cells;
    else
        position = position <= 0 ? cells - 1 : position - 1;
    return m_model->index(position / columns, position % columns);
}

bool TextGrid::focusNextPrevChild(bool next)
{
    // Qt asks a focused widget that is being hidden or disabled to pass the
    // focus on through this call; the table view would take it as a Tab.
    if (!isVisible() || !isEnabled())
        return QWidget::focusNextPrevChild(next);
    return QTableView::focusNextPrevChild(next);
}

void TextGrid::keyPressEvent(QKeyEvent* event)
{
    // The cell editor takes these keys for itself while it is open.
    if (event->matches(QKeySequence::Copy)) {
        copyCells();
        event->accept();
        return;
    }
    if (isEditable()) {
        if (event->matches(QKeySequence::Paste)) {
            pasteCells();
            event->accept();
            return;
        }
        if (event->matches(QKeySequence::Delete)) {
            clearCells();
            event->accept();
            return;
        }
        if (event->matches(QKeySequence::Undo)) {
            undoEdit();
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void TextGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    m_model->endTyping();
}

zeltrac::CellRange TextGrid::selectedRange() const
{
    const QItemSelection selection =
        selectionModel() ? selectionModel()->selection() : QItemSelection();
    if (selection.isEmpty()) {
        const QModelIndex current = currentIndex();
        if (!current.isValid())
            return {};
        return {current.column(), current.row(), 1, 1};
    }
    int left = selection.front().left();
    int top = selection.front().top();
    int right = selection.front().right();
    int bottom = selection.front().bottom();
    for (const QItemSelectionRange& range : selection) {
        left = qMin(left, range.left());
        top = qMin(top, range.top());
        right = qMax(right, range.right());
        bottom = qMax(bottom, range.bottom());
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

void TextGrid::selectRange(const zeltrac::CellRange& range)
{
    if (range.isEmpty() || !selectionModel())
        return;
    const QModelIndex topLeft = m_model->index(range.row, range.column);
    const QModelIndex bottomRight =
        m_model->index(range.row + range.rows - 1, range.column + range.columns - 1);
    selectionModel()->setCurrentIndex(topLeft, QItemSelectionModel::NoUpdate);
    selectionModel()->select(QItemSelection(topLeft, bottomRight),
                             QItemSelectionModel::ClearAndSelect);
}

void TextGrid::copyCells()
{
    const zeltrac::CellRange range = selectedRange();
    if (range.isEmpty())
        return;
    QApplication::clipboard()->setMimeData(m_model->copyData(range).release());
}

void TextGrid::pasteCells()
{
    if (!isEditable())
        return;
    const zeltrac::tabtext::Block block =
        zeltrac::tabtext::parse(QApplication::clipboard()->text());
    if (block.isEmpty())
        return;
    const QModelIndex current = currentIndex();
    const int column = current.isValid() ? current.column() : 0;
    const int row = current.isValid() ? current.row() : 0;
    const zeltrac::PasteResult result = m_model->paste(block, column, row, selectedRange());
    selectRange(result.written);
    if (result.rowsLeftOut > 0 || result.columnsLeftOut > 0) {
        showInformation(this, QStringLiteral("Не вставлено: строк — %1, столбцов — %2.")
                                  .arg(result.rowsLeftOut)
                                  .arg(result.columnsLeftOut));
    }
}

void TextGrid::clearCells()
{
    if (isEditable())
        m_model->clear(selectedRange());
}

void TextGrid::undoEdit()
{
    if (isEditable())
        selectRange(m_model->undo());
}

} // namespace zeltrac::ui
