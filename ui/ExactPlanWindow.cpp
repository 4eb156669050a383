#include "ui/ExactPlanWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QListWidget>
#include <QLocale>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <algorithm>

#include "optimum/jsonfile.h"
#include "optimum/variants.h"
#include "ui/PlanDiagramWindow.h"
#include "ui/errorbox.h"
#include "ui/exactcomparison.h"
#include "ui/filedialog.h"
#include "ui/fonts.h"
#include "ui/textgrid.h"
#include "ui_ExactPlanWindow.h"
#include "workbook/diagramplan.h"
#include "workbook/limitsmodel.h"

using zeltrac::ExactPlan;
using zeltrac::optimum::Conditions;
using zeltrac::optimum::Solution;

namespace {

// The plan grid's cells grow with the window from 30 x 18 pixels (21 stations
// then fit a 1024-pixel screen beside the conditions) up to twice that.
constexpr int kCellWidth = 30;
constexpr int kCellHeight = 18;

QString number(double value, int decimals)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals);
}

// The solve's wall time and the solver whose answer it is.
QString solveTimeText(const Solution& solution)
{
    QString text = number(solution.seconds, 3) + QStringLiteral(" с, ");
    if (solution.handedOver)
        return text + QStringLiteral("CBC (собственный решатель не доказал оптимум)");
    return text + (solution.solvedBy == zeltrac::optimum::Solver::Own
                       ? QStringLiteral("собственный решатель")
                       : QStringLiteral("CBC"));
}

zeltrac::ui::FileDialogSettings conditionsDialog(QFileDialog::AcceptMode mode)
{
    return {mode,
            mode == QFileDialog::AcceptOpen ? QStringLiteral("Открыть условия")
                                            : QStringLiteral("Сохранить условия"),
            QStringLiteral("ConditionsDialog"), QStringLiteral("Условия (*.json)"),
            QStringLiteral("json")};
}

// The plan of variant `index` in the place of the solution's own.
Solution variantSolution(const Solution& solution, int index)
{
    Solution shown = solution;
    if (index >= 0 && index < static_cast<int>(solution.variants.size()))
        shown.best = solution.variants[index];
    return shown;
}

} // namespace

ExactPlanWindow::ExactPlanWindow(zeltrac::Workbook& workbook, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::ExactPlanWindow>()),
      m_workbook(workbook), m_comparison(new zeltrac::ui::ExactComparisonModel(this))
{
    ui->setupUi(this);
    m_planModel = new zeltrac::ui::ConditionPlanModel(this);
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(zeltrac::ui::windowFont());
    ui->gridPlan->setTextModel(m_planModel);
    ui->gridPlan->setEditable(false);
    ui->gridPlan->setFocusPolicy(Qt::NoFocus);
    ui->gridPlan->setItemDelegate(new zeltrac::ui::MarkedCellDelegate(ui->gridPlan));
    ui->gridPlan->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui->gridPlan->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (const auto& [header, cell] : {std::pair{ui->gridPlan->horizontalHeader(), kCellWidth},
                                       std::pair{ui->gridPlan->verticalHeader(), kCellHeight}}) {
        header->show();
        header->setDefaultAlignment(Qt::AlignCenter);
        header->setMinimumSectionSize(cell);
        header->setMaximumSectionSize(2 * cell);
        header->setSectionResizeMode(QHeaderView::Stretch);
    }
    ui->tableComparison->setModel(m_comparison);
    ui->tableComparison->verticalHeader()->hide();
    ui->tableComparison->verticalHeader()->setDefaultSectionSize(
        ui->tableComparison->fontMetrics().height() + 6);
    ui->tableComparison->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    m_planModel->setConditions(&m_workbook.conditions(), 0);
    connect(&m_workbook, &zeltrac::Workbook::conditionsChanged, m_planModel,
            &zeltrac::ui::ConditionPlanModel::refreshMarks);
    zeltrac::AnalysisJob& job = m_workbook.analysis();
    connect(&job, &zeltrac::AnalysisJob::finished, this, &ExactPlanWindow::finishSolve);
    connect(&job, &zeltrac::AnalysisJob::discarded, this, [this] {
        setBusy(false);
        showPlan(std::nullopt,
                 QStringLiteral("План пересчитан: выберите «Точный оптимум…» снова."));
        emit solveFinished();
    });
    connect(ui->gridPlan, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { cycleCell(index.column(), index.row()); });
    auto* limits = new zeltrac::LimitsModel(m_workbook, this);
    connect(limits, &zeltrac::LimitsModel::refused, this,
            [this](const QString& reason) { zeltrac::ui::showErrorBox(this, reason); });
    ui->tableLimits->setModel(limits);
    ui->tableLimits->verticalHeader()->setDefaultSectionSize(
        ui->tableLimits->fontMetrics().height() + 6);
    ui->tableLimits->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    connect(ui->buttonResolve, &QPushButton::clicked, this, &ExactPlanWindow::resolve);
    connect(ui->buttonSaveConditions, &QPushButton::clicked, this,
            &ExactPlanWindow::saveConditions);
    connect(ui->buttonOpenConditions, &QPushButton::clicked, this,
            &ExactPlanWindow::openConditions);
    connect(ui->listVariants, &QListWidget::currentRowChanged, this,
            &ExactPlanWindow::selectVariant);
    saveConditionsDialog = [this](const QString& offered) {
        return zeltrac::ui::runFileDialog(this, conditionsDialog(QFileDialog::AcceptSave),
                                          QFileInfo(offered).absolutePath(), offered);
    };
    openConditionsDialog = [this](const QString& offered) {
        return zeltrac::ui::runFileDialog(this, conditionsDialog(QFileDialog::AcceptOpen),
                                          QFileInfo(offered).absolutePath(), offered);
    };
    connect(ui->buttonCancel, &QPushButton::clicked, this, &ExactPlanWindow::cancel);
    connect(ui->buttonClose, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->buttonDiagram, &QPushButton::clicked, this, &ExactPlanWindow::showDiagram);
    setBusy(false);
}

ExactPlanWindow::~ExactPlanWindow()
{
    m_workbook.analysis().cancel();
}

QString ExactPlanWindow::statusText() const
{
    return ui->labelStatus->text();
}

void ExactPlanWindow::start()
{
    if (isSolving()) {
        // Opened again while a cancelled solve is ending: solve anew after it.
        m_solveAgain = m_workbook.analysis().isCancelling();
        return;
    }
    if (!m_workbook.hasCompletedPlan()) {
        showPlan(std::nullopt, QStringLiteral("Нет рассчитанного плана."));
        return;
    }
    if (const ExactPlan* stored = m_workbook.exactPlan()) {
        showPlan(*stored, QString::fromStdString(stored->statusText()));
        showVariants();
        return;
    }

    runSolve(0);
}

void ExactPlanWindow::resolve()
{
    if (isSolving())
        return;
    if (!m_workbook.hasCompletedPlan()) {
        showPlan(std::nullopt, QStringLiteral("Нет рассчитанного плана."));
        return;
    }
    runSolve(ui->spinVariants->value());
}

void ExactPlanWindow::runSolve(int variants)
{
    zeltrac::AnalysisJob& job = m_workbook.analysis();
    zeltrac::AnalysisRequest request = job.exactRequest(variants, timeLimitSeconds);
    request.options.solver = ui->comboSolver->currentIndex() == 1 ? zeltrac::optimum::Solver::Cbc
                                                                  : zeltrac::optimum::Solver::Own;
    if (!job.start(std::move(request)))
        return;
    showPlan(std::nullopt, QStringLiteral("Поиск точного оптимума…"));
    setBusy(true);
    showVariants();
}

void ExactPlanWindow::cancel()
{
    if (!isSolving())
        return;
    m_workbook.analysis().cancel();
    m_solveAgain = false;
    ui->buttonCancel->setEnabled(false);
    ui->labelStatus->setText(QStringLiteral("Отмена…"));
}

void ExactPlanWindow::finishSolve(const zeltrac::AnalysisResult& result)
{
    if (result.request.kind != zeltrac::AnalysisRequest::Kind::Exact)
        return; // another window's analysis
    setBusy(false);
    const ExactPlan plan(result.solution, result.request.calculated,
                         result.request.input.stationCount, result.request.planKind());
    showPlan(plan, QString::fromStdString(plan.statusText()));
    showVariants();
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
    m_planModel->setTexts(zeltrac::TextTable());
    ui->gridPlan->setColCount(cells);
    ui->gridPlan->setRowCount(cells);
    if (shown)
        m_planModel->setTexts(plan->solution().best.plan);
    if (m_workbook.hasCompletedPlan())
        m_stations = m_workbook.lastInput().stationCount;
    m_planModel->setConditions(&m_workbook.conditions(), m_stations);
    fitPlanArea(cells);
    m_comparison->setPlan(shown ? plan : std::nullopt);
    m_shownTrains.reset();
    if (shown)
        m_shownTrains = plan->solution().best.trains;
    updateDiagram();

    if (!shown) {
        for (QLabel* label : {ui->labelAnalytical, ui->labelExact, ui->labelSaving, ui->labelTime})
            label->clear();
        if (plan)
            ui->labelTime->setText(solveTimeText(plan->solution()));
        return;
    }
    ui->captionExact->setText(QString::fromStdString(plan->label()) + QStringLiteral(", ваг.-ч:"));
    ui->labelAnalytical->setText(number(plan->analyticalCost(), 2));
    ui->labelExact->setText(number(plan->cost(), 2));
    ui->labelSaving->setText(number(plan->saving(), 2) + QStringLiteral(" ваг.-ч (") +
                             number(plan->savingPercent(), 2) + QStringLiteral(" %)"));
    ui->labelTime->setText(solveTimeText(plan->solution()));
}

void ExactPlanWindow::setBusy(bool busy)
{
    ui->progressBusy->setVisible(busy);
    ui->buttonCancel->setVisible(busy);
    ui->buttonCancel->setEnabled(busy);
    ui->buttonResolve->setEnabled(!busy);
    ui->comboSolver->setEnabled(!busy);
    ui->buttonOpenConditions->setEnabled(!busy);
    ui->buttonSaveConditions->setEnabled(!busy);
    ui->tableLimits->setEnabled(!busy); // and its model takes no edit
    ui->listVariants->setEnabled(!busy);
}

const zeltrac::optimum::Solution* ExactPlanWindow::variantsShown() const
{
    if (const zeltrac::AnalysisResult* last = m_workbook.analysis().lastExact())
        return last->solution.hasPlan() ? &last->solution : nullptr;
    const ExactPlan* stored = m_workbook.exactPlan();
    return stored && stored->hasPlan() ? &stored->solution() : nullptr;
}

void ExactPlanWindow::showVariants()
{
    const QSignalBlocker blocker(ui->listVariants);
    ui->listVariants->clear();
    const zeltrac::optimum::Solution* solution = variantsShown();
    if (!solution || isSolving())
        return;
    const std::vector<zeltrac::optimum::Variant>& variants = solution->variants;
    const std::size_t count = std::max<std::size_t>(variants.size(), 1);
    const double optimum = variants.empty() ? solution->best.cost : variants.front().cost;
    for (std::size_t k = 0; k < count; ++k) {
        const double cost = variants.empty() ? solution->best.cost : variants[k].cost;
        QString text = QString::number(k + 1) + QStringLiteral(". ") + number(cost, 2) +
                       QStringLiteral(" ваг.-ч");
        if (k == 0) {
            text += QStringLiteral(" — оптимум");
        } else {
            const double above = cost - optimum;
            const double percent = optimum > 0 ? above / optimum * 100.0 : 0.0;
            text += QStringLiteral(", +") + number(above, 2) + QStringLiteral(" ваг.-ч (+") +
                    number(percent, 2) + QStringLiteral(" %)");
        }
        ui->listVariants->addItem(text);
    }
    if (!solution->variantsComplete)
        ui->listVariants->addItem(QStringLiteral("Список неполон: поиск вариантов прерван"));
    ui->listVariants->setCurrentRow(0);
}

QStringList ExactPlanWindow::variantTexts() const
{
    QStringList texts;
    for (int row = 0; row < ui->listVariants->count(); ++row)
        texts << ui->listVariants->item(row)->text();
    return texts;
}

void ExactPlanWindow::selectVariant(int index)
{
    const zeltrac::optimum::Solution* solution = variantsShown();
    if (!solution || index < 0 || index >= std::max(static_cast<int>(solution->variants.size()), 1))
        return;
    const zeltrac::AnalysisResult* last = m_workbook.analysis().lastExact();
    m_workbook.analysis().selectVariant(index);
    if (ui->listVariants->currentRow() != index) {
        const QSignalBlocker blocker(ui->listVariants);
        ui->listVariants->setCurrentRow(index);
    }
    const zeltrac::PlanKind kind = index > 0 ? zeltrac::PlanKind::Variant
                                   : last    ? last->request.planKind()
                                             : zeltrac::PlanKind::Optimum;
    const ExactPlan plan(variantSolution(*solution, index), m_workbook.calculatedPlan(), m_stations,
                         kind, index + 1);
    QString status = QString::fromStdString(plan.statusText());
    if (index > 0)
        status = QStringLiteral("Вариант %1; ").arg(index + 1) + status;
    showPlan(plan, status);
}

void ExactPlanWindow::showDiagram()
{
    if (!m_diagram)
        m_diagram = new PlanDiagramWindow(this);
    updateDiagram();
    m_diagram->show();
    m_diagram->raise();
}

void ExactPlanWindow::updateDiagram()
{
    if (!m_diagram)
        return;
    // Both plans from the session's diagram data, as the main menu's diagram.
    const std::optional<zeltrac::diagram::DiagramPlan> analytical = m_workbook.diagramData();
    if (!analytical)
        return;
    if (m_shownTrains)
        m_diagram->setPlans(*analytical, m_workbook.exactDiagramData(*m_shownTrains));
    else
        m_diagram->setPlans(*analytical);
}

void ExactPlanWindow::cycleCell(int column, int row)
{
    if (isSolving() || column >= m_planModel->columnCount() || row >= m_planModel->rowCount())
        return;
    const auto train = zeltrac::ui::trainAtCell(column, row, m_stations);
    if (!train)
        return;
    Conditions conditions = m_workbook.conditions();
    zeltrac::ui::cycleTrain(conditions, *train);
    m_workbook.setConditions(conditions);
}

void ExactPlanWindow::setConditions(const Conditions& conditions)
{
    if (!isSolving())
        m_workbook.setConditions(conditions);
}

QString ExactPlanWindow::offeredConditionsName() const
{
    if (dataFileName.isEmpty())
        return QDir::current().absoluteFilePath(QStringLiteral("условия.json"));
    const QFileInfo data(dataFileName);
    return data.absoluteDir().absoluteFilePath(data.completeBaseName() +
                                               QStringLiteral(".условия.json"));
}

void ExactPlanWindow::saveConditions()
{
    if (isSolving())
        return;
    const QString path = saveConditionsDialog(offeredConditionsName());
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const std::string text = zeltrac::optimum::writeConditions(m_workbook.conditions());
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        zeltrac::ui::showErrorBox(this, QStringLiteral("Условия не сохранены в файл %1: %2")
                                            .arg(QDir::toNativeSeparators(path))
                                            .arg(file.errorString()));
        return;
    }
    m_workbook.conditionsDocument().setSaved(path);
}

void ExactPlanWindow::openConditions()
{
    if (isSolving())
        return;
    const QString path = openConditionsDialog(offeredConditionsName());
    if (path.isEmpty())
        return;
    // The reader and its limits are the command line's too.
    Conditions read;
    const std::string error =
        zeltrac::optimum::loadConditionsFile(QFile::encodeName(path).toStdString(), read);
    if (!error.empty()) {
        zeltrac::ui::showErrorBox(this, QString::fromStdString(error));
        return;
    }
    setConditions(read);
    if (m_workbook.conditions() == read)
        m_workbook.conditionsDocument().setSaved(path);
}

void ExactPlanWindow::fitPlanArea(int cells)
{
    // The plan's area grows no wider and no taller than the grid at its
    // largest cells; the comparison takes the rest.
    zeltrac::ui::TextGrid* grid = ui->gridPlan;
    const int frame = 2 * grid->frameWidth();
    const int rows = std::max(cells, 1);
    grid->setMaximumWidth(rows * 2 * kCellWidth + grid->verticalHeader()->sizeHint().width() +
                          frame + grid->verticalScrollBar()->sizeHint().width());
    grid->setMinimumHeight(std::min(rows, 6) * kCellHeight + grid->horizontalHeader()->height() +
                           frame);
    grid->setMaximumHeight(rows * 2 * kCellHeight + grid->horizontalHeader()->height() + frame +
                           grid->horizontalScrollBar()->sizeHint().height());
    const int wanted = ui->groupPlan->sizeHint().height() - grid->sizeHint().height() +
                       rows * kCellHeight + grid->horizontalHeader()->height() + frame;
    ui->splitter->setSizes({wanted, std::max(ui->splitter->height() - wanted, 1)});
}

void ExactPlanWindow::showEvent(QShowEvent* event)
{
    // The first time within the screen, over the middle of the window that
    // opened it.
    if (!m_placed && !event->spontaneous()) {
        m_placed = true;
        const QRect screen =
            (parentWidget() ? parentWidget()->screen() : this->screen())->availableGeometry();
        const QSize frame = frameGeometry().size() - size();
        resize(size().boundedTo(screen.size() - frame));
        QRect placed(QPoint(), frameGeometry().size());
        placed.moveCenter(parentWidget() ? parentWidget()->frameGeometry().center()
                                         : screen.center());
        placed.moveLeft(std::clamp(placed.left(), screen.left(),
                                   std::max(screen.right() - placed.width() + 1, screen.left())));
        placed.moveTop(std::clamp(placed.top(), screen.top(),
                                  std::max(screen.bottom() - placed.height() + 1, screen.top())));
        move(placed.topLeft());
    }
    QWidget::showEvent(event);
}

void ExactPlanWindow::closeEvent(QCloseEvent* event)
{
    cancel();
    QWidget::closeEvent(event);
}
