#pragma once

#include <QColor>
#include <QStyledItemDelegate>
#include <optional>

#include "optimum/conditions.h"
#include "workbook/celltable.h"

namespace zeltrac::ui {

// How the planner has set a train of the exact plan.
enum class TrainMark
{
    None,
    Forced,
    Forbidden,
};

// The train of a cell of a plan grid laid out like the plan table of a line
// of n stations (column = origin - 1, row 0 = station n), or none for a cell
// outside the triangle.
std::optional<optimum::TrainPair> trainAtCell(int column, int row, int n);

TrainMark trainMark(const optimum::Conditions& conditions, const optimum::TrainPair& train);

// Moves the train on along none -> forced -> forbidden -> none and returns
// its new mark.
TrainMark cycleTrain(optimum::Conditions& conditions, const optimum::TrainPair& train);

// The plan grid's texts with the forced and forbidden trains marked: their
// cells get a background colour and a tooltip naming the condition.
class ConditionPlanModel : public CellTableModel
{
public:
    using CellTableModel::CellTableModel;

    // The conditions to mark (the caller's, outliving the model) on a line of
    // n stations; marks are repainted at once.
    void setConditions(const optimum::Conditions* conditions, int n);
    // Repaints the marks after the conditions changed.
    void refreshMarks();

    TrainMark markAt(int column, int row) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The stations: origins above the columns, destinations beside the rows.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QColor forcedColor() { return QColor(170, 230, 170); }
    static QColor forbiddenColor() { return QColor(240, 160, 160); }

private:
    const optimum::Conditions* m_conditions = nullptr;
    int m_stations = 0;
};

// Paints a selected cell in the selection colour blended half and half with
// the cell's own background, so a mark stays visible while selected.
class MarkedCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace zeltrac::ui
