#include "ui/textgrid.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QStyledItemDelegate>

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
        model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    }
};

} // namespace

TextGridModel::TextGridModel(QObject* parent) : QAbstractTableModel(parent) {}

int TextGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

int TextGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant TextGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cell(index.column(), index.row());
    return {};
}

bool TextGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    setCell(index.column(), index.row(), value.toString());
    return true;
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_editable)
        result |= Qt::ItemIsEditable;
    return result;
}

void TextGridModel::setColumns(int columns)
{
    columns = qMax(0, columns);
    if (columns > m_columns) {
        beginInsertColumns({}, m_columns, columns - 1);
        m_columns = columns;
        endInsertColumns();
    } else if (columns < m_columns) {
        beginRemoveColumns({}, columns, m_columns - 1);
        m_columns = columns;
        endRemoveColumns();
    }
}

void TextGridModel::setRows(int rows)
{
    rows = qMax(0, rows);
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
}

quint64 TextGridModel::key(int column, int row)
{
    return (quint64(quint32(column)) << 32) | quint32(row);
}

QString TextGridModel::cell(int column, int row) const
{
    if (column < 0 || row < 0)
        return {};
    return m_cells.value(key(column, row));
}

void TextGridModel::setCell(int column, int row, const QString& text)
{
    if (column < 0 || row < 0)
        return;
    const quint64 k = key(column, row);
    const auto it = m_cells.constFind(k);
    const bool had = it != m_cells.constEnd();
    if (had ? *it == text : text.isEmpty())
        return;
    if (text.isEmpty())
        m_cells.remove(k);
    else
        m_cells.insert(k, text);
    if (column < m_columns && row < m_rows) {
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
    }
}

void TextGridModel::setEditable(bool editable)
{
    if (m_editable == editable)
        return;
    m_editable = editable;
    if (m_columns > 0 && m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
}

TextGrid::TextGrid(QWidget* parent) : QTableView(parent), m_model(new TextGridModel(this))
{
    setModel(m_model);
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

} // namespace zeltrac::ui
