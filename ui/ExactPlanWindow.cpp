#include "ui/ExactPlanWindow.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMetaObject>
#include <QScrollBar>
#include <QShowEvent>
#include <algorithm>

#include "ui/exactcomparison.h"
#include "ui/fonts.h"
#include "ui/textgrid.h"
#include "ui_ExactPlanWindow.h"

using zeltrac::ExactPlan;
using zeltrac::optimum::Solution;

namespace {

// A cell of the plan grid: 32 pixels and a line wide, 18 and a line high,
// with the 1-pixel border around.
QSize planGridSize(int cells)
{
    return {33 * cells + 2, 19 * cells + 2};
}

QString number(double value, int decimals)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

} // namespace

ExactPlanWindow::ExactPlanWindow(zeltrac::Workbook& workbook, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::ExactPlanWindow>()),
      m_workbook(workbook), m_comparison(new zeltrac::ui::ExactComparisonModel(this))
{
    ui->setupUi(this);
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(zeltrac::ui::windowFont());
    ui->gridPlan->setTextModel(&m_planModel);
    ui->gridPlan->setEditable(false);
    ui->gridPlan->setFocusPolicy(Qt::NoFocus);
    ui->tableComparison->setModel(m_comparison);
    ui->tableComparison->verticalHeader()->hide();
    ui->tableComparison->verticalHeader()->setDefaultSectionSize(
        ui->tableComparison->fontMetrics().height() + 6);
    ui->tableComparison->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &ExactPlanWindow::cancel);
    connect(ui->buttonClose, &QPushButton::clicked, this, &QWidget::close);
    setBusy(false);
}

ExactPlanWindow::~ExactPlanWindow()
{
    m_cancel = true;
    joinSolve();
}

void ExactPlanWindow::joinSolve()
{
    if (m_thread.joinable())
        m_thread.join();
}

QString ExactPlanWindow::statusText() const
{
    return ui->labelStatus->text();
}

void ExactPlanWindow::start()
{
    if (m_solving) {
        // Opened again while a cancelled solve is ending: solve anew after it.
        m_solveAgain = m_cancel.load();
        return;
    }
    if (!m_workbook.hasCompletedPlan()) {
        showPlan(std::nullopt, QStringLiteral("Нет рассчитанного плана."));
        return;
    }
    if (const ExactPlan* stored = m_workbook.exactPlan()) {
        showPlan(*stored, QString::fromStdString(stored->statusText()));
        return;
    }

    joinSolve();
    m_cancel = false;
    m_solving = true;
    showPlan(std::nullopt, QStringLiteral("Поиск точного оптимума…"));
    setBusy(true);

    const zeltrac::CalcInput input = m_workbook.lastInput();
    const quint64 calculation = m_workbook.calculationNumber();
    zeltrac::optimum::Options options;
    options.timeLimitSeconds = timeLimitSeconds;
    options.cancel = &m_cancel;
    const zeltrac::Workbook::ExactSolver solve = solver;
    // The thread reads only its own copies and the cancel flag, which lives
    // until the thread is joined; the result comes back as a queued call,
    // dropped if the window is gone by then.
    m_thread = std::thread([this, input, calculation, options, solve] {
        auto solution = std::make_shared<Solution>(
            solve ? solve(input, options) : zeltrac::optimum::solveExact(input, options));
        QMetaObject::invokeMethod(
            this, [this, calculation, solution] { finishSolve(calculation, *solution); },
            Qt::QueuedConnection);
    });
}

void ExactPlanWindow::cancel()
{
    if (!m_solving)
        return;
    m_cancel = true;
    m_solveAgain = false;
    ui->buttonCancel->setEnabled(false);
    ui->labelStatus->setText(QStringLiteral("Отмена…"));
}

void ExactPlanWindow::finishSolve(quint64 calculation, const Solution& solution)
{
    joinSolve();
    m_solving = false;
    setBusy(false);
    if (calculation != m_workbook.calculationNumber()) {
        showPlan(std::nullopt,
                 QStringLiteral("План пересчитан: выберите «Точный оптимум…» снова."));
    } else {
        m_workbook.storeExactPlan(calculation, solution);
        const ExactPlan plan(solution, m_workbook.lastInput().stationCount);
        showPlan(plan, QString::fromStdString(plan.statusText()));
    }
    emit solveFinished();
    if (m_solveAgain) {
        m_solveAgain = false;
        start();
    }
}

void ExactPlanWindow::showPlan(const std::optional<ExactPlan>& plan, const QString& status)
{
    ui->labelStatus->setText(status);
    const bool shown = plan && plan->hasPlan();
    const int cells = shown ? plan->stationCount() - 1 : 0;
    m_planModel.setTexts(zeltrac::TextTable());
    ui->gridPlan->setColCount(cells);
    ui->gridPlan->setRowCount(cells);
    if (shown)
        m_planModel.setTexts(plan->solution().plan);
    ui->gridPlan->resize(planGridSize(cells));
    // The plan's area grows no taller than the grid; the table takes the rest.
    ui->scrollPlan->setMaximumHeight(planGridSize(std::max(cells, 1)).height() +
                                     ui->scrollPlan->horizontalScrollBar()->sizeHint().height());
    ui->planLayout->setAlignment(ui->scrollPlan, Qt::AlignTop | Qt::AlignLeft);
    ui->splitter->setSizes({ui->groupPlan->sizeHint().height(), ui->splitter->height()});
    m_comparison->setPlan(shown ? plan : std::nullopt);

    if (!shown) {
        for (QLabel* label : {ui->labelAnalytical, ui->labelExact, ui->labelSaving, ui->labelTime})
            label->clear();
        if (plan)
            ui->labelTime->setText(number(plan->solution().seconds, 3) + QStringLiteral(" с"));
        return;
    }
    ui->labelAnalytical->setText(number(plan->analyticalCost(), 2));
    ui->labelExact->setText(number(plan->cost(), 2));
    ui->labelSaving->setText(number(plan->saving(), 2) + QStringLiteral(" ваг.-ч (") +
                             number(plan->savingPercent(), 2) + QStringLiteral(" %)"));
    ui->labelTime->setText(number(plan->solution().seconds, 3) + QStringLiteral(" с"));
}

void ExactPlanWindow::setBusy(bool busy)
{
    ui->progressBusy->setVisible(busy);
    ui->buttonCancel->setVisible(busy);
    ui->buttonCancel->setEnabled(busy);
}

void ExactPlanWindow::showEvent(QShowEvent* event)
{
    // The first time over the middle of the window that opened it.
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        if (const QWidget* opener = parentWidget()) {
            const QPoint centre = opener->frameGeometry().center();
            move(centre - QPoint(width() / 2, height() / 2));
        }
    }
    QWidget::showEvent(event);
}

void ExactPlanWindow::closeEvent(QCloseEvent* event)
{
    cancel();
    QWidget::closeEvent(event);
}
