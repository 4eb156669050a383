#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "diagram/picture.h"
#include "workbook/diagramplan.h"

class QPrinter;
class PlanDiagramView;

namespace Ui {
class PlanDiagramWindow;
}

// The window with the formation-plan diagram: the analytical plan and, once
// computed, the exact optimum's plan, alone or one above the other; saved as
// SVG, PNG or PDF and printed.
class PlanDiagramWindow : public QWidget
{
    Q_OBJECT

public:
    using PlanChoice = zeltrac::diagram::PlanChoice;

    explicit PlanDiagramWindow(QWidget* parent = nullptr);
    ~PlanDiagramWindow() override;

    // The plans to draw. Without an exact plan the choice is hidden and the
    // analytical plan is shown; with one, both are shown until changed.
    void setPlans(const zeltrac::diagram::DiagramPlan& analytical,
                  std::optional<zeltrac::diagram::DiagramPlan> exact = std::nullopt);
    bool hasExactPlan() const { return m_exact.has_value(); }
    void setPlanChoice(PlanChoice choice);
    PlanChoice planChoice() const;

    PlanDiagramView* view() const;

    // "Сохранить как…" and "Печать" as their buttons run them; errors are
    // shown in the common error box.
    void saveAs();
    void print();

    // Writes the diagram as shown to a file whose extension names the format
    // (svg, png, pdf). Throws zeltrac::Error.
    void saveTo(const QString& path) const;

    // Seams that tests replace: the file dialog (gets the initial folder and
    // the name last chosen, returns the chosen name or an empty one when
    // cancelled; by default the program's common file dialog) and the print dialog (returns false
    // when cancelled).
    std::function<QString(const QString& folder, const QString& lastName)> saveFileDialog;
    std::function<bool(QPrinter& printer)> printDialog;

private:
    void showChosenPlans();

    std::unique_ptr<Ui::PlanDiagramWindow> ui;
    zeltrac::diagram::DiagramPlan m_analytical;
    std::optional<zeltrac::diagram::DiagramPlan> m_exact;
    QString m_lastSaveName;
};
