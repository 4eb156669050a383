#include "ui/Unit1.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QScreen>
#include <QShowEvent>
#include <QTabBar>

#include "calc/error.h"
#include "report/datetime.h"
#include "ui/PlanDiagramWindow.h"
#include "ui/Unit2.h"
#include "ui/errorbox.h"
#include "ui/filedialog.h"
#include "ui/fonts.h"
#include "ui/recovery.h"
#include "ui/textgrid.h"
#include "ui_Unit1.h"

using zeltrac::TextTable;
using zeltrac::ui::guarded;

namespace {

const QString kDataFilter = QStringLiteral("Фалы исх.данных (*.dat)");

// The flow and plan grids: per column 32 pixels and a line, per row 18 pixels
// and a line, and the 1-pixel border around them.
QSize flowGridSize(int stationCount)
{
    return {33 * (stationCount - 1) + 2, 19 * (stationCount - 1) + 2};
}

// The hourglass over every window of the program for as long as it lives.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

zeltrac::ui::FileDialogSettings dataFileDialog(QFileDialog::AcceptMode mode)
{
    const bool open = mode == QFileDialog::AcceptOpen;
    return {mode, open ? QStringLiteral("Открыть") : QStringLiteral("Сохранить как"),
            open ? QStringLiteral("OpenDialog1") : QStringLiteral("SaveDialog1"), kDataFilter,
            open ? QString() : QStringLiteral("dat")};
}

// Shows a window of the program's own, or brings it forward when open.
void bringForward(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::Form1>())
{
    ui->setupUi(this);
    m_workbook = new zeltrac::Workbook(this);
    m_workbook->setDecimalSeparator(QLocale::system().decimalPoint());
    ui->StringGrid2->setTextModel(m_workbook->parameterModel());
    ui->StringGrid3->setTextModel(m_workbook->flowModel());
    ui->StringGrid4->setTextModel(m_workbook->planModel());
    ui->Edit2->setText(m_workbook->operatorName());
    applyFonts();

    // The client area keeps its designed size; the menu bar comes on top.
    ui->centralWidget->setFixedSize(751, 579);
    setFixedSize(751, 579 + ui->MainMenu1->sizeHint().height());

    ui->Panel1->setBackgroundRole(QPalette::Base);
    // The ruler lies on the white panel: disabled, it keeps the white ground,
    // and its marks take the plain grey of disabled text, which still reads
    // against white.
    QPalette rulerPalette = ui->Edit3->palette();
    rulerPalette.setColor(QPalette::Disabled, QPalette::Base,
                          rulerPalette.color(QPalette::Active, QPalette::Base));
    rulerPalette.setColor(QPalette::Disabled, QPalette::Text, QColor(Qt::darkGray));
    ui->Edit3->setPalette(rulerPalette);
    ui->TabControl1->tabBar()->setFocusPolicy(Qt::NoFocus);
    ui->TabControl1->setTabIndex(0);
    QAction* separator = ui->mnuPrRes->insertSeparator(ui->mmExit);
    separator->setObjectName(QStringLiteral("N4"));

    openFileDialog = [this](const QString& folder, const QString& lastName) {
        return zeltrac::ui::runFileDialog(this, dataFileDialog(QFileDialog::AcceptOpen), folder,
                                          lastName);
    };
    saveFileDialog = [this](const QString& folder, const QString& lastName) {
        return zeltrac::ui::runFileDialog(this, dataFileDialog(QFileDialog::AcceptSave), folder,
                                          lastName);
    };
    currentDateTime = [] { return QDateTime::currentDateTime(); };
    csvFileDialog = [this](const QString& folder, const QString& lastName) {
        return zeltrac::ui::runFileDialog(
            this,
            {QFileDialog::AcceptSave, QStringLiteral("Экспорт в CSV"), QStringLiteral("CsvDialog"),
             QStringLiteral("Файлы CSV (*.csv)"), QStringLiteral("csv")},
            folder, lastName);
    };

    // The spinner reads Edit1's text before Edit1Change runs, so the handler
    // sees the position the typed text has just set.
    ui->UpDown1->setAssociate(ui->Edit1);
    ui->UpDown1->setPosition(m_workbook->stationCount());
    connect(ui->Edit1, &QLineEdit::textChanged, this, [this] { handle(&Form1::Edit1Change); });
    connect(m_workbook, &zeltrac::Workbook::stationCountChanged, this, &Form1::showStationCount);
    connect(ui->Edit2, &QLineEdit::textChanged, m_workbook, &zeltrac::Workbook::setOperatorName);
    connect(m_workbook, &zeltrac::Workbook::operatorNameChanged, this, [this](const QString& name) {
        if (ui->Edit2->text() != name)
            ui->Edit2->setText(name);
    });
    // "[*]" of the caption: unsaved changes of any of the session's files.
    for (zeltrac::Document* document :
         {&m_workbook->inputDocument(), &m_workbook->conditionsDocument(),
          &m_workbook->planInForceDocument()})
        connect(document, &zeltrac::Document::modifiedChanged, this,
                [this] { setWindowModified(m_workbook->hasUnsavedChanges()); });
    connect(ui->TabControl1, &zeltrac::ui::TabControl::changed, this,
            [this] { handle(&Form1::TabControl1Change); });
    connect(ui->N5, &QAction::triggered, this, [this] { handle(&Form1::N5Click); });
    connect(ui->mmOpen, &QAction::triggered, this, [this] { handle(&Form1::mmOpenClick); });
    connect(ui->mmSave, &QAction::triggered, this, [this] { handle(&Form1::mmSaveClick); });
    connect(ui->mmPrRes, &QAction::triggered, this, [this] { handle(&Form1::mmPrResClick); });
    connect(ui->mmExit, &QAction::triggered, this, [this] { handle(&Form1::mmExitClick); });
    // An exact optimum computed later joins an open diagram as its second plan.
    connect(m_workbook, &zeltrac::Workbook::exactPlanChanged, this, &Form1::refreshPlanDiagram);
    connect(ui->mmExactPlan, &QAction::triggered, this,
            [this] { handle(&Form1::mmExactPlanClick); });
    connect(ui->mmPlanInForce, &QAction::triggered, this,
            [this] { handle(&Form1::mmPlanInForceClick); });
    connect(ui->mmStability, &QAction::triggered, this,
            [this] { handle(&Form1::mmStabilityClick); });
    connect(ui->mmPlanDiagram, &QAction::triggered, this,
            [this] { handle(&Form1::mmPlanDiagramClick); });
    connect(ui->mmCopyPlan, &QAction::triggered, this, [this] { handle(&Form1::mmCopyPlanClick); });
    connect(ui->mmExportCsv, &QAction::triggered, this,
            [this] { handle(&Form1::mmExportCsvClick); });

    handle(&Form1::FormCreate);
}

Form1::~Form1()
{
    // Before the session they show goes; waits for a running solve.
    delete m_exactWindow;
    delete m_planInForceWindow;
    delete m_stabilityWindow;
}

void Form1::setResultWindow(Form2* form)
{
    m_resultWindow = form;
}

void Form1::handle(void (Form1::*handler)())
{
    guarded(this, [this, handler] { (this->*handler)(); });
}

void Form1::applyFonts()
{
    const QFont windowFont = zeltrac::ui::windowFont();
    setFont(windowFont);
    // The menus do not take the window's font by themselves: the bar and its
    // pull-down lists read alike.
    ui->MainMenu1->setFont(windowFont);
    ui->mnuPrRes->setFont(windowFont);
    ui->N3->setFont(windowFont);
    ui->mnuAnalysis->setFont(windowFont);

    QFont bold = windowFont;
    bold.setBold(true);
    ui->Label4->setFont(bold);
    ui->Label5->setFont(bold);

    QFont ruler;
    ruler.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")});
    ruler.setPixelSize(11);
    // The ruler's tick marks stand over the column lines of the flow grid only
    // with whole-pixel advances (space 3, hyphen 4, bar 2 pixels at this
    // size); unhinted fractional advances make the ruler drift off the grid.
    ruler.setHintingPreference(QFont::PreferFullHinting);
    ui->Edit3->setFont(ruler);
}

bool Form1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        handle(&Form1::FormActivate);
    return QMainWindow::event(event);
}

void Form1::showEvent(QShowEvent* event)
{
    if (!m_shownOnce && !event->spontaneous()) {
        m_shownOnce = true;
        if (const QScreen* screen = this->screen()) {
            const QRect area = screen->availableGeometry();
            // The whole frame, title bar included, is centred.
            const QSize frame = frameGeometry().size();
            move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
        }
        // As its controls come up the spinner writes its position into Edit1;
        // Edit1Change runs even when that leaves the text as it was.
        const QString before = ui->Edit1->text();
        ui->UpDown1->setPosition(ui->UpDown1->position());
        if (ui->Edit1->text() == before)
            handle(&Form1::Edit1Change);
    }
    QMainWindow::showEvent(event);
}

void Form1::FormCreate()
{
    // The header grid has only its designed 3 columns now; the texts appear
    // as Edit1Change widens it.
    ui->StringGrid1->setCell(0, 0, QStringLiteral("Ст."));
    for (int k = 1; k <= 22; ++k)
        ui->StringGrid1->setCell(k, 0, QString::number(k));
}

void Form1::Edit1Change()
{
    m_workbook->setStationCount(ui->UpDown1->position());
}

void Form1::showStationCount(int count)
{
    if (ui->UpDown1->position() != count)
        ui->UpDown1->setPosition(count);
    ui->StringGrid1->setColCount(count + 1);
    ui->StringGrid3->resize(flowGridSize(count));
}

void Form1::TabControl1Change()
{
    if (ui->TabControl1->tabIndex() == 1) {
        ui->mmOpen->setEnabled(false);
        ui->mmSave->setEnabled(false);
        // The report is offered with the analyses, once the calculation completes.
        ui->mmPrRes->setEnabled(false);
        ui->UpDown1->hide();
        ui->Edit1->setEnabled(false);
        ui->Edit2->setEnabled(false);
        ui->StringGrid2->setEnabled(false);
        ui->StringGrid3->hide();
        ui->StringGrid4->show();
        const int n = ui->UpDown1->position();
        ui->StringGrid4->setColCount(n - 1);
        ui->StringGrid4->setRowCount(n - 1);
        ui->StringGrid4->resize(flowGridSize(n));
        const WaitCursor waitCursor;
        try {
            CalcResultMetod1();
        } catch (...) {
            // A failed calculation leaves no plan for the analysis commands.
            updateAnalysisCommands();
            refreshPlanDiagram();
            throw;
        }
        updateAnalysisCommands();
        refreshPlanDiagram();
    } else {
        ui->mmOpen->setEnabled(true);
        ui->mmSave->setEnabled(true);
        ui->mmPrRes->setEnabled(false);
        ui->UpDown1->show();
        ui->Edit1->setEnabled(true);
        ui->Edit2->setEnabled(true);
        ui->StringGrid2->setEnabled(true);
        ui->StringGrid4->hide();
        ui->StringGrid3->show();
        updateAnalysisCommands();
        // The exact optimum belongs to the plan that is no longer shown.
        if (m_exactWindow)
            m_exactWindow->close();
    }
}

void Form1::FormActivate()
{
    if (ui->TabControl1->tabIndex() == 0)
        ui->mmPrRes->setEnabled(false);
}

void Form1::N5Click()
{
    // "По шагам" is a checkable item: the menu has already inverted its mark,
    // and the calculation reads the mark when it runs. Nothing else changes.
}

void Form1::mmExitClick()
{
    close();
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!mayDiscardChanges()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool Form1::mayDiscardChanges()
{
    // The windows that edit the conditions and the plan in force save them,
    // with their dialogs.
    return maySaveOrDiscard(m_workbook->inputDocument(),
                            QStringLiteral("Сохранить изменения в исходных данных?"),
                            [this] { saveInput(); }) &&
           maySaveOrDiscard(m_workbook->conditionsDocument(),
                            QStringLiteral("Сохранить изменения в условиях точного оптимума?"),
                            [this] { exactWindow()->saveConditions(); }) &&
           maySaveOrDiscard(m_workbook->planInForceDocument(),
                            QStringLiteral("Сохранить изменения в действующем плане?"),
                            [this] { planWindow()->savePlan(); });
}

bool Form1::maySaveOrDiscard(const zeltrac::Document& document, const QString& question,
                             const std::function<void()>& save)
{
    using zeltrac::ui::SaveAnswer;
    if (!document.modified())
        return true;
    const SaveAnswer answer = zeltrac::ui::askToSave(this, question);
    if (answer != SaveAnswer::Save)
        return answer != SaveAnswer::Cancel;
    save();
    return !document.modified();
}

bool Form1::saveInput()
{
    QString path = m_workbook->inputDocument().fileName();
    if (path.isEmpty()) {
        path = saveFileDialog(QDir::currentPath(), m_saveFileName);
        if (path.isEmpty())
            return false;
        m_saveFileName = path;
    }
    bool saved = false;
    guarded(this, [this, &path, &saved] {
        m_workbook->save(path);
        saved = true;
    });
    return saved;
}

void Form1::CalcResultMetod1()
{
    zeltrac::CalcHooks hooks;
    hooks.onTrainFixed = [this](const zeltrac::StepView& step) {
        // "По шагам" is read anew at every step.
        if (!ui->N5->isChecked())
            return;
        m_workbook->planModel()->setTexts(step.workFlowTexts());
        ui->StringGrid4->viewport()->repaint();
        zeltrac::ui::showInformation(this, QString::fromUtf8(zeltrac::messages::nextStep));
    };
    hooks.onPlan = [this](const TextTable&) { ui->StringGrid4->viewport()->repaint(); };

    if (m_workbook->calculate(hooks) == zeltrac::CalcStatus::NotEnoughData)
        zeltrac::ui::showInformation(this, QString::fromUtf8(zeltrac::messages::notEnoughData));
}

void Form1::print2RE()
{
    std::vector<std::string> lines;
    const auto publish = [this, &lines] {
        if (!m_resultWindow)
            return;
        QStringList texts;
        texts.reserve(qsizetype(lines.size()));
        for (const std::string& line : lines)
            texts << QString::fromStdString(line);
        m_resultWindow->clearReport();
        m_resultWindow->addLines(texts);
    };
    try {
        m_workbook->composeReport(
            zeltrac::report::reportDateTime(QLocale::system(), currentDateTime()), lines);
    } catch (...) {
        // The lines composed before the error stay in the window.
        publish();
        throw;
    }
    publish();
}

void Form1::mmPrResClick()
{
    print2RE();
    if (m_resultWindow)
        m_resultWindow->showReport();
}

void Form1::mmOpenClick()
{
    if (!mayDiscardChanges())
        return;
    const QString path = openFileDialog(QDir::currentPath(), m_openFileName);
    if (path.isEmpty())
        return;
    m_openFileName = path;
    loadDataFile(path);
}

void Form1::openFile(const QString& name)
{
    // A name relative to the working folder is taken with its full path, as
    // the dialog gives it, for the messages and for the next "Открыть".
    const QString path = QFileInfo(name).absoluteFilePath();
    m_openFileName = path;
    guarded(this, [this, &path] { loadDataFile(path); });
}

void Form1::loadDataFile(const QString& path)
{
    // Everything is read and checked before anything on the window changes;
    // the station count reaches the spinner through the session's signal.
    m_workbook->load(path);
}

void Form1::mmSaveClick()
{
    const QString path = saveFileDialog(QDir::currentPath(), m_saveFileName);
    if (path.isEmpty())
        return;
    m_saveFileName = path;
    m_workbook->save(path);
}

// The report and the analysis commands work on the plan on screen: they are
// open in result mode after a completed calculation. A failed one leaves the
// plan grid with its old texts, which belong to no input shown.
void Form1::updateAnalysisCommands()
{
    const bool planShown = ui->TabControl1->tabIndex() == 1 && m_workbook->hasCompletedPlan();
    for (QAction* action : {ui->mmPrRes, ui->mmExactPlan, ui->mmPlanInForce, ui->mmStability,
                            ui->mmPlanDiagram, ui->mmCopyPlan, ui->mmExportCsv})
        action->setEnabled(planShown);
}

ExactPlanWindow* Form1::exactWindow()
{
    if (!m_exactWindow) {
        m_exactWindow = new ExactPlanWindow(*m_workbook, this);
        m_exactWindow->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_exactWindow->dataFileName = m_workbook->inputDocument().fileName();
    return m_exactWindow;
}

void Form1::mmExactPlanClick()
{
    exactWindow();
    if (exactSolver)
        m_workbook->analysis().solver = exactSolver;
    bringForward(m_exactWindow);
    m_exactWindow->start();
}

PlanInForceWindow* Form1::planWindow()
{
    if (!m_planInForceWindow)
        m_planInForceWindow = new PlanInForceWindow(*m_workbook, this);
    m_planInForceWindow->dataFileName = m_workbook->inputDocument().fileName();
    return m_planInForceWindow;
}

void Form1::mmPlanInForceClick()
{
    bringForward(planWindow());
    m_planInForceWindow->start();
}

void Form1::mmStabilityClick()
{
    if (!m_stabilityWindow)
        m_stabilityWindow = new StabilityWindow(*m_workbook, this);
    bringForward(m_stabilityWindow);
    m_stabilityWindow->start();
}

void Form1::mmPlanDiagramClick()
{
    if (!m_workbook->hasCompletedPlan())
        return;
    if (!m_diagramWindow) {
        // A window of its own that closes with the main window.
        m_diagramWindow = new PlanDiagramWindow(this);
    }
    refreshPlanDiagram();
    bringForward(m_diagramWindow);
}

PlanDiagramWindow* Form1::planDiagramWindow() const
{
    return m_diagramWindow;
}

void Form1::refreshPlanDiagram()
{
    if (!m_diagramWindow)
        return;
    const std::optional<zeltrac::diagram::DiagramPlan> plan = m_workbook->diagramData();
    if (!plan) {
        m_diagramWindow->hide();
        return;
    }
    m_diagramWindow->setPlans(*plan, m_workbook->exactDiagramData());
}

void Form1::mmCopyPlanClick()
{
    QApplication::clipboard()->setMimeData(m_workbook->planClipboardData().release());
}

void Form1::mmExportCsvClick()
{
    const QString path = csvFileDialog(QDir::currentPath(), m_csvFileName);
    if (path.isEmpty())
        return;
    m_csvFileName = path;
    m_workbook->exportCsv(path);
}
