#include "ui/PlanInForceWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>

#include "datafile/safefile.h"
#include "ui/PlanDiagramWindow.h"
#include "ui/errorbox.h"
#include "ui/exactcomparison.h"
#include "ui/filedialog.h"
#include "ui/fonts.h"
#include "ui/traingrid.h"
#include "ui_PlanInForceWindow.h"
#include "workbook/exactplan.h"
#include "workbook/plannertext.h"
#include "workbook/workbook.h"

namespace {

constexpr double kTimeLimitSeconds = 60;

QString number(double value)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

zeltrac::ui::FileDialogSettings planDialog(QFileDialog::AcceptMode mode)
{
    return {mode,
            mode == QFileDialog::AcceptOpen ? QStringLiteral("Открыть действующий план")
                                            : QStringLiteral("Сохранить действующий план"),
            QStringLiteral("PlanInForceDialog"), QStringLiteral("Действующий план (*.json)"),
            QStringLiteral("json")};
}

} // namespace

PlanInForceWindow::PlanInForceWindow(zeltrac::Workbook& workbook, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::PlanInForceWindow>()),
      m_workbook(workbook), m_grid(new zeltrac::ui::TrainGridModel(this)),
      m_comparison(new zeltrac::ui::ExactComparisonModel(this))
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(zeltrac::ui::windowFont());
    ui->gridPlan->setModel(m_grid);
    const int cell = fontMetrics().height() + 4;
    ui->gridPlan->verticalHeader()->setDefaultSectionSize(cell);
    ui->gridPlan->horizontalHeader()->setDefaultSectionSize(
        fontMetrics().horizontalAdvance(u'0') * 4 + 8);
    ui->gridPlan->horizontalHeader()->setMinimumSectionSize(10);
    ui->labelCosts->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("Действующий план: 0000000,00 ваг.-ч")));
    ui->tableComparison->setModel(m_comparison);
    ui->tableComparison->verticalHeader()->hide();
    ui->tableComparison->verticalHeader()->setDefaultSectionSize(cell + 2);
    ui->tableComparison->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    const auto header = zeltrac::ladderHeader();
    ui->tableLadder->setColumnCount(static_cast<int>(header.size()));
    QStringList labels;
    for (const std::string& h : header)
        labels << QString::fromStdString(h);
    ui->tableLadder->setHorizontalHeaderLabels(labels);
    ui->tableLadder->verticalHeader()->hide();
    ui->tableLadder->verticalHeader()->setDefaultSectionSize(cell + 2);
    ui->tableLadder->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableLadder->horizontalHeader()->setStretchLastSection(true);
    ui->splitter->setStretchFactor(0, 3);
    ui->splitter->setStretchFactor(1, 2);

    connect(ui->gridPlan, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        const auto [origin, destination] = m_grid->trainAt(index.column(), index.row());
        if (origin != 0)
            toggleTrain(origin, destination);
    });
    connect(ui->buttonFromCalculated, &QPushButton::clicked, this,
            &PlanInForceWindow::takeCalculated);
    connect(ui->buttonFromOptimum, &QPushButton::clicked, this, &PlanInForceWindow::takeOptimum);
    connect(ui->buttonFromVariant, &QPushButton::clicked, this, &PlanInForceWindow::takeVariant);
    connect(ui->buttonOpen, &QPushButton::clicked, this, &PlanInForceWindow::openPlan);
    connect(ui->buttonSave, &QPushButton::clicked, this, &PlanInForceWindow::savePlan);
    connect(ui->buttonSolve, &QPushButton::clicked, this, &PlanInForceWindow::solve);
    connect(ui->buttonDiagram, &QPushButton::clicked, this, &PlanInForceWindow::showDiagram);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &PlanInForceWindow::cancel);
    connect(ui->buttonClose, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->tableLadder, &QTableWidget::currentCellChanged, this,
            [this](int row) { selectStep(row); });
    connect(&m_workbook, &zeltrac::Workbook::planInForceChanged, this,
            &PlanInForceWindow::showCurrent);
    // An exact optimum found later joins the comparison.
    connect(&m_workbook, &zeltrac::Workbook::exactPlanChanged, this,
            &PlanInForceWindow::showCurrent);
    zeltrac::AnalysisJob& job = m_workbook.analysis();
    const auto nameVariant = [this] {
        const zeltrac::AnalysisJob& job = m_workbook.analysis();
        ui->buttonFromVariant->setText(
            job.selectedPlan() ? QStringLiteral("Из варианта %1").arg(job.selectedVariant() + 1)
                               : QStringLiteral("Из варианта"));
    };
    connect(&job, &zeltrac::AnalysisJob::variantSelected, this, nameVariant);
    nameVariant();
    connect(&job, &zeltrac::AnalysisJob::finished, this, &PlanInForceWindow::finishSolve);
    // The ladder's exact solves counted, the running one's best plan and bound.
    const auto ownSolve = [this] {
        return isSolving() && m_workbook.analysis().currentRequest().kind ==
                                  zeltrac::AnalysisRequest::Kind::Changes;
    };
    connect(&job, &zeltrac::AnalysisJob::solveBegun, this, [this, ownSolve](int solve) {
        if (!ownSolve())
            return;
        m_solve = solve;
        ui->labelStatus->setText(QStringLiteral("Поиск лучших изменений: решение %1…").arg(solve));
    });
    connect(
        &job, &zeltrac::AnalysisJob::progress, this, [this, ownSolve](double best, double bound) {
            if (ownSolve())
                ui->labelStatus->setText(
                    QStringLiteral("Поиск лучших изменений: решение %1, лучший план %2, граница %3")
                        .arg(m_solve)
                        .arg(number(best), number(bound)));
        });
    openPlanDialog = [this](const QString& offered) {
        return zeltrac::ui::runFileDialog(this, planDialog(QFileDialog::AcceptOpen),
                                          QFileInfo(offered).absolutePath(), offered);
    };
    savePlanDialog = [this](const QString& offered) {
        return zeltrac::ui::runFileDialog(this, planDialog(QFileDialog::AcceptSave),
                                          QFileInfo(offered).absolutePath(), offered);
    };
    setBusy(false);
}

PlanInForceWindow::~PlanInForceWindow()
{
    if (isSolving() &&
        m_workbook.analysis().currentRequest().kind == zeltrac::AnalysisRequest::Kind::Changes)
        m_workbook.analysis().cancel();
}

bool PlanInForceWindow::isSolving() const
{
    return m_workbook.analysis().isRunning();
}

QString PlanInForceWindow::statusText() const
{
    return ui->labelStatus->text();
}

std::vector<zeltrac::optimum::TrainPair> PlanInForceWindow::through() const
{
    if (m_workbook.planInForce())
        return *m_workbook.planInForce();
    return zeltrac::optimum::throughTrainsOfPlan(m_workbook.calculatedPlan().plan,
                                                 m_workbook.lastInput().stationCount);
}

void PlanInForceWindow::start()
{
    if (!m_workbook.hasCompletedPlan()) {
        ui->labelStatus->setText(QStringLiteral("Нет рассчитанного плана."));
        return;
    }
    m_grid->setStations(m_workbook.lastInput().stationCount);
    showCurrent();
}

void PlanInForceWindow::showCurrent()
{
    if (!m_workbook.hasCompletedPlan())
        return;
    m_current = zeltrac::optimum::evaluatePlanInForce(m_workbook.lastInput(), through());
    m_grid->setPlanInForce(m_current.through, m_current.unusable);
    QString unusable;
    for (const auto& t : m_current.unusable)
        unusable += QStringLiteral("Внимание: ") +
                    QString::fromStdString(zeltrac::optimum::describeUnusable(t)) + u'\n';
    ui->labelUnusable->setText(unusable.trimmed());
    QString costs =
        QStringLiteral("Действующий план: <b>%1</b> ваг.-ч<br>Рассчитанный план: %2 ваг.-ч")
            .arg(m_current.valid() ? number(m_current.plan.cost) : QStringLiteral("—"),
                 number(m_workbook.calculatedPlan().cost()));
    if (const zeltrac::optimum::Solution* best = optimum())
        costs += QStringLiteral("<br>Оптимум: %1 ваг.-ч").arg(number(best->best.cost));
    ui->labelCosts->setText(costs);
    if (!m_current.valid())
        ui->labelStatus->setText(QString::fromStdString(m_current.message));
    // A ladder of another plan in force no longer answers.
    if (m_ladder && m_ladder->current.through != m_current.through) {
        m_ladder.reset();
        ui->tableLadder->setRowCount(0);
    }
    if (!m_ladder)
        showPlan(m_current.plan, 0);
}

const zeltrac::optimum::Solution* PlanInForceWindow::optimum() const
{
    if (m_ladder && m_ladder->optimum.hasPlan())
        return &m_ladder->optimum;
    if (const zeltrac::ExactPlan* exact = m_workbook.exactPlan(); exact && exact->hasPlan())
        return &exact->solution();
    return nullptr;
}

void PlanInForceWindow::showDiagram()
{
    if (!m_diagram)
        m_diagram = new PlanDiagramWindow(this);
    updateDiagram();
    m_diagram->show();
    m_diagram->raise();
}

void PlanInForceWindow::updateDiagram()
{
    if (!m_diagram)
        return;
    const std::optional<zeltrac::diagram::DiagramPlan> analytical = m_workbook.diagramData();
    if (analytical)
        m_diagram->setPlans(*analytical, m_workbook.exactDiagramData(m_shownTrains));
}

void PlanInForceWindow::showPlan(const zeltrac::optimum::Variant& plan, int step)
{
    m_shownTrains = plan.trains;
    updateDiagram();
    m_grid->setShown(plan.trains);
    using Plan = zeltrac::ui::ExactComparisonModel::Plan;
    std::vector<Plan> plans;
    if (step > 0)
        plans.push_back({QStringLiteral("ступень %1").arg(step), QStringLiteral("выбранного плана"),
                         plan.tables});
    else if (m_current.valid())
        plans.push_back(
            {QStringLiteral("действующий"), QStringLiteral("действующего плана"), plan.tables});
    else
        return m_comparison->setPlans({}, 0);
    plans.push_back({QStringLiteral("расчет"), QStringLiteral("рассчитанного плана"),
                     m_workbook.calculatedPlan().tables});
    if (const zeltrac::optimum::Solution* best = optimum())
        plans.push_back({QStringLiteral("оптимум"), QStringLiteral("оптимума"), best->best.tables});
    m_comparison->setPlans(std::move(plans), m_workbook.lastInput().stationCount);
}

void PlanInForceWindow::toggleTrain(int origin, int destination)
{
    if (destination < origin + 2 || isSolving())
        return; // local trains come with the completion
    std::vector<zeltrac::optimum::TrainPair> trains = through();
    const zeltrac::optimum::TrainPair train(origin, destination);
    const auto at = std::find(trains.begin(), trains.end(), train);
    if (at == trains.end())
        trains.push_back(train);
    else
        trains.erase(at);
    std::sort(trains.begin(), trains.end());
    m_workbook.setPlanInForce(trains);
}

void PlanInForceWindow::takeCalculated()
{
    if (!m_workbook.hasCompletedPlan() || isSolving())
        return;
    m_workbook.setPlanInForce(zeltrac::optimum::throughTrainsOfPlan(
        m_workbook.calculatedPlan().plan, m_workbook.lastInput().stationCount));
}

void PlanInForceWindow::takeOptimum()
{
    if (isSolving())
        return;
    const zeltrac::optimum::Solution* best = optimum();
    if (!best) {
        ui->labelStatus->setText(QStringLiteral(
            "Точный оптимум еще не найден: выберите «Точный оптимум…» или найдите изменения."));
        return;
    }
    m_workbook.setPlanInForce(zeltrac::optimum::throughTrainsOf(best->best.trains));
}

void PlanInForceWindow::takeVariant()
{
    if (isSolving())
        return;
    const zeltrac::optimum::Variant* variant = m_workbook.analysis().selectedPlan();
    if (!variant) {
        ui->labelStatus->setText(
            QStringLiteral("Вариант не выбран: найдите варианты в окне «Точный оптимум»."));
        return;
    }
    m_workbook.setPlanInForce(zeltrac::optimum::throughTrainsOf(variant->trains));
}

void PlanInForceWindow::solve()
{
    if (isSolving() || !m_workbook.hasCompletedPlan())
        return;
    zeltrac::AnalysisJob& job = m_workbook.analysis();
    if (!job.start(job.changesRequest(ui->spinChanges->value(), kTimeLimitSeconds)))
        return;
    ui->labelStatus->setText(QStringLiteral("Поиск лучших изменений…"));
    setBusy(true);
}

void PlanInForceWindow::cancel()
{
    if (!isSolving())
        return;
    m_workbook.analysis().cancel();
    ui->buttonCancel->setEnabled(false);
    ui->labelStatus->setText(QStringLiteral("Отмена…"));
}

void PlanInForceWindow::setBusy(bool busy)
{
    ui->progressBusy->setVisible(busy);
    ui->buttonCancel->setVisible(busy);
    ui->buttonCancel->setEnabled(busy);
    for (QWidget* w :
         {static_cast<QWidget*>(ui->buttonSolve), static_cast<QWidget*>(ui->buttonFromCalculated),
          static_cast<QWidget*>(ui->buttonFromOptimum),
          static_cast<QWidget*>(ui->buttonFromVariant), static_cast<QWidget*>(ui->buttonOpen)})
        w->setEnabled(!busy);
}

void PlanInForceWindow::finishSolve(const zeltrac::AnalysisResult& result)
{
    if (result.request.kind != zeltrac::AnalysisRequest::Kind::Changes)
        return;
    setBusy(false);
    m_ladder = result.ladder;
    const zeltrac::optimum::Ladder& ladder = *m_ladder;
    // The optimum as a last line when the ladder stopped before it.
    const bool optimumLine = !ladder.optimumReached && ladder.optimum.hasPlan();
    ui->tableLadder->setRowCount(static_cast<int>(ladder.steps.size()) + 1 + optimumLine);
    const auto put = [this](int row, const std::vector<std::string>& cells) {
        for (int c = 0; c < static_cast<int>(cells.size()); ++c)
            ui->tableLadder->setItem(row, c,
                                     new QTableWidgetItem(QString::fromStdString(cells[c])));
    };
    put(0, {"0", ladder.current.valid() ? zeltrac::fixedText(ladder.current.plan.cost, 1) : "—",
            "0.0", "0.00", "0.0", "действующий план"});
    for (std::size_t k = 0; k < ladder.steps.size(); ++k)
        put(static_cast<int>(k) + 1, zeltrac::ladderRow(ladder.steps[k]));
    if (optimumLine) {
        zeltrac::optimum::LadderStep optimum;
        optimum.k = ladder.distance;
        optimum.solution = ladder.optimum;
        optimum.currentCost = ladder.current.plan.cost;
        optimum.optimumCost = ladder.optimum.best.cost;
        std::vector<std::string> cells = zeltrac::ladderRow(optimum);
        cells.back() = "оптимум (" + std::to_string(ladder.distance) + " изменений)";
        put(static_cast<int>(ladder.steps.size()) + 1, cells);
    }
    ui->labelStatus->setText(QString::fromStdString(zeltrac::ladderStatusText(ladder)));
    showCurrent();
    ui->tabs->setCurrentWidget(ui->pageLadder);
    emit solveFinished();
}

void PlanInForceWindow::selectStep(int row)
{
    if (!m_ladder || row < 0)
        return;
    if (row == 0)
        showPlan(m_ladder->current.plan, 0);
    else if (row <= static_cast<int>(m_ladder->steps.size()) &&
             m_ladder->steps[row - 1].solution.hasPlan())
        showPlan(m_ladder->steps[row - 1].solution.best, row);
    else if (m_ladder->optimum.hasPlan())
        showPlan(m_ladder->optimum.best, m_ladder->distance);
}

void PlanInForceWindow::openPlan()
{
    const QString path = openPlanDialog(QString::fromStdString(
        zeltrac::optimum::planFileFor(QFile::encodeName(dataFileName).toStdString())));
    if (path.isEmpty())
        return;
    std::vector<zeltrac::optimum::TrainPair> trains;
    std::string error =
        zeltrac::optimum::loadPlanFile(QFile::encodeName(path).toStdString(), trains);
    if (error.empty())
        error = zeltrac::optimum::checkPlan(trains, m_workbook.lastInput().stationCount);
    if (!error.empty()) {
        zeltrac::ui::showErrorBox(this, QString::fromStdString(error));
        return;
    }
    m_workbook.setPlanInForce(trains);
    m_workbook.planInForceDocument().setSaved(path);
}

void PlanInForceWindow::savePlan()
{
    const QString path = savePlanDialog(QString::fromStdString(
        zeltrac::optimum::planFileFor(QFile::encodeName(dataFileName).toStdString())));
    if (path.isEmpty())
        return;
    const std::vector<zeltrac::optimum::TrainPair> trains = through();
    bool saved = false;
    zeltrac::ui::guarded(this, [&] {
        zeltrac::datafile::writeFileSafely(
            path, QByteArray::fromStdString(zeltrac::optimum::writePlan(trains)),
            "Не удалось записать файл плана", "Не удалось создать файл плана %s");
        saved = true;
    });
    if (!saved)
        return;
    // The calculated plan's trains, shown when none was given, are now the
    // plan in force the file holds.
    m_workbook.setPlanInForce(trains);
    m_workbook.planInForceDocument().setSaved(path);
}
