#include "ui/StabilityWindow.h"

#include <QHeaderView>
#include <QLocale>

#include "diagram/stabilitychart.h"
#include "ui/errorbox.h"
#include "ui/filedialog.h"
#include "ui/fonts.h"
#include "ui/stabilitychartview.h"
#include "ui_StabilityWindow.h"
#include "workbook/plannertext.h"
#include "workbook/workbook.h"

namespace {

constexpr double kTimeLimitSeconds = 60;

QString fixedName(const zeltrac::AnalysisRequest& request)
{
    if (request.fixedPlan.empty())
        return QStringLiteral("Оптимум при g = 1");
    return request.through == zeltrac::optimum::throughTrainsOfPlan(request.calculated.plan,
                                                                    request.input.stationCount)
               ? QStringLiteral("Рассчитанный план")
               : QStringLiteral("Действующий план");
}

} // namespace

StabilityWindow::StabilityWindow(zeltrac::Workbook& workbook, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::StabilityWindow>()), m_workbook(workbook)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(zeltrac::ui::windowFont());
    const auto header = zeltrac::pieceHeader();
    ui->tablePieces->setColumnCount(static_cast<int>(header.size()));
    QStringList labels;
    for (const std::string& h : header)
        labels << QString::fromStdString(h);
    ui->tablePieces->setHorizontalHeaderLabels(labels);
    ui->tablePieces->verticalHeader()->hide();
    ui->tablePieces->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui->tablePieces->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tablePieces->horizontalHeader()->setStretchLastSection(true);
    ui->splitter->setStretchFactor(0, 3);
    ui->splitter->setStretchFactor(1, 2);
    const auto showScope = [this] {
        const int kind = ui->comboScope->currentIndex();
        ui->spinOrigin->setVisible(kind > 0);
        ui->captionDestination->setVisible(kind == 2);
        ui->spinDestination->setVisible(kind == 2);
    };
    connect(ui->comboScope, &QComboBox::currentIndexChanged, this, showScope);
    showScope();
    connect(ui->buttonSolve, &QPushButton::clicked, this, &StabilityWindow::solve);
    connect(ui->buttonCancel, &QPushButton::clicked, this, &StabilityWindow::cancel);
    connect(ui->buttonSaveChart, &QPushButton::clicked, this, &StabilityWindow::saveChart);
    connect(ui->buttonClose, &QPushButton::clicked, this, &QWidget::close);
    zeltrac::AnalysisJob& job = m_workbook.analysis();
    connect(&job, &zeltrac::AnalysisJob::finished, this, &StabilityWindow::finishSolve);
    // The envelope's exact solves counted, the running one's best plan and bound.
    connect(&job, &zeltrac::AnalysisJob::solveBegun, this, [this](int solve) {
        if (ownSolve()) {
            m_solve = solve;
            ui->labelStatus->setText(QStringLiteral("Поиск огибающей: решение %1…").arg(solve));
        }
    });
    connect(&job, &zeltrac::AnalysisJob::progress, this, [this](double best, double bound) {
        QLocale locale = QLocale::system();
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        if (ownSolve() && m_solve > 0)
            ui->labelStatus->setText(
                QStringLiteral("Поиск огибающей: решение %1, лучший план %2, граница %3")
                    .arg(m_solve)
                    .arg(locale.toString(best, 'f', 2), locale.toString(bound, 'f', 2)));
    });
    saveChartDialog = [this](const QString& offered) {
        return zeltrac::ui::runFileDialog(
            this,
            {QFileDialog::AcceptSave, QStringLiteral("Сохранить график устойчивости"),
             QStringLiteral("StabilityChartDialog"),
             QStringLiteral("Рисунок SVG (*.svg);;Рисунок PNG (*.png);;Документ PDF (*.pdf)"),
             QStringLiteral("svg")},
            QString(), offered);
    };
    setBusy(false);
    ui->buttonSaveChart->setEnabled(false);
}

StabilityWindow::~StabilityWindow()
{
    if (ownSolve())
        m_workbook.analysis().cancel();
}

bool StabilityWindow::ownSolve() const
{
    return isSolving() &&
           m_workbook.analysis().currentRequest().kind == zeltrac::AnalysisRequest::Kind::Stability;
}

bool StabilityWindow::isSolving() const
{
    return m_workbook.analysis().isRunning();
}

QString StabilityWindow::statusText() const
{
    return ui->labelStatus->text();
}

zeltrac::ui::StabilityChartView* StabilityWindow::chartView() const
{
    return ui->chartView;
}

void StabilityWindow::start()
{
    if (!m_workbook.hasCompletedPlan()) {
        ui->labelStatus->setText(QStringLiteral("Нет рассчитанного плана."));
        return;
    }
    const int n = m_workbook.lastInput().stationCount;
    ui->spinOrigin->setMaximum(n - 1);
    ui->spinDestination->setMaximum(n);
}

zeltrac::optimum::Scope StabilityWindow::scope() const
{
    zeltrac::optimum::Scope scope;
    scope.kind = static_cast<zeltrac::optimum::Scope::Kind>(ui->comboScope->currentIndex());
    scope.origin = ui->spinOrigin->value();
    scope.destination = ui->spinDestination->value();
    return scope;
}

void StabilityWindow::solve()
{
    if (isSolving() || !m_workbook.hasCompletedPlan())
        return;
    const zeltrac::optimum::Scope chosen = scope();
    std::string error = zeltrac::optimum::checkScope(chosen, m_workbook.lastInput().stationCount);
    if (error.empty() && !(ui->spinHigh->value() > ui->spinLow->value()))
        error = "Верхний предел коэффициента должен быть больше нижнего";
    if (!error.empty()) {
        ui->labelStatus->setText(QString::fromStdString(error));
        return;
    }
    zeltrac::AnalysisJob& job = m_workbook.analysis();
    zeltrac::AnalysisRequest request = job.stabilityRequest(
        chosen, ui->spinLow->value(), ui->spinHigh->value(), kTimeLimitSeconds);
    if (ui->comboFixed->currentIndex() == 1)
        request.fixedPlan.clear(); // the optimum at g = 1
    if (!job.start(std::move(request)))
        return;
    m_solve = 0;
    ui->labelStatus->setText(QStringLiteral("Поиск огибающей…"));
    setBusy(true);
}

void StabilityWindow::cancel()
{
    if (!isSolving())
        return;
    m_workbook.analysis().cancel();
    ui->buttonCancel->setEnabled(false);
    ui->labelStatus->setText(QStringLiteral("Отмена…"));
}

void StabilityWindow::setBusy(bool busy)
{
    ui->progressBusy->setVisible(busy);
    ui->buttonCancel->setVisible(busy);
    ui->buttonCancel->setEnabled(busy);
    ui->buttonSolve->setEnabled(!busy);
}

void StabilityWindow::finishSolve(const zeltrac::AnalysisResult& result)
{
    if (result.request.kind != zeltrac::AnalysisRequest::Kind::Stability)
        return;
    setBusy(false);
    m_stability = result.stability;
    const zeltrac::optimum::Stability& s = *m_stability;
    ui->tablePieces->setRowCount(static_cast<int>(s.pieces.size()));
    for (int row = 0; row < static_cast<int>(s.pieces.size()); ++row) {
        const auto cells = zeltrac::pieceRow(s.pieces[row]);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c)
            ui->tablePieces->setItem(row, c,
                                     new QTableWidgetItem(QString::fromStdString(cells[c])));
    }
    ui->chartView->setChart(s.pieces.empty() ? std::nullopt
                                             : std::optional(zeltrac::diagram::stabilityChartOf(
                                                   s, fixedName(result.request))));
    ui->buttonSaveChart->setEnabled(!s.pieces.empty());
    ui->labelStatus->setText(QString::fromStdString(zeltrac::stabilityStatusText(s)));
    emit solveFinished();
}

void StabilityWindow::saveChart()
{
    if (!ui->chartView->chart())
        return;
    const QString path = saveChartDialog(QStringLiteral("устойчивость.svg"));
    if (path.isEmpty())
        return;
    zeltrac::ui::guarded(
        this, [&] { zeltrac::diagram::writeStabilityChart(*ui->chartView->chart(), path); });
}
