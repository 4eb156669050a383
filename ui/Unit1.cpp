#include "ui/Unit1.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QScreen>
#include <QShowEvent>
#include <QTabBar>

#include "calc/error.h"
#include "datafile/datafile.h"
#include "report/datetime.h"
#include "report/report.h"
#include "ui/Unit2.h"
#include "ui/errorbox.h"
#include "ui/fonts.h"
#include "ui/textgrid.h"
#include "ui_Unit1.h"

using zeltrac::TextTable;
using zeltrac::ui::guarded;
using zeltrac::ui::TextGrid;

namespace {

const QString kDataFilter = QStringLiteral("Фалы исх.данных (*.dat)");

// The flow and plan grids: per column 32 pixels and a line, per row 18 pixels
// and a line, and the 1-pixel border around them.
QSize flowGridSize(int stationCount)
{
    return {33 * (stationCount - 1) + 2, 19 * (stationCount - 1) + 2};
}

TextTable gridTexts(const TextGrid& grid, int columns, int rows)
{
    TextTable table(columns, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            table.setCell(c, r, grid.cell(c, r).toStdString());
    return table;
}

QString decimalSeparator()
{
    return QLocale::system().decimalPoint();
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

QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& folder,
                      const QString& lastName)
{
    QFileDialog dialog(parent, mode == QFileDialog::AcceptOpen ? QStringLiteral("Открыть")
                                                               : QStringLiteral("Сохранить как"));
    dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("OpenDialog1")
                                                         : QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(mode);
    // A typed name is taken as it is: opening a missing file is reported by
    // the command, and saving replaces a file without asking.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(kDataFilter);
    dialog.setDirectory(folder);
    if (mode == QFileDialog::AcceptSave)
        dialog.setDefaultSuffix(QStringLiteral("dat"));
    // The name chosen last is offered again in its own folder, so that
    // accepting it at once takes the same file again.
    if (!lastName.isEmpty()) {
        const QFileInfo last(lastName);
        if (last.absoluteDir().exists())
            dialog.selectFile(last.absoluteFilePath());
        else
            dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::Form1>())
{
    ui->setupUi(this);
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
        return runFileDialog(this, QFileDialog::AcceptOpen, folder, lastName);
    };
    saveFileDialog = [this](const QString& folder, const QString& lastName) {
        return runFileDialog(this, QFileDialog::AcceptSave, folder, lastName);
    };
    currentDateTime = [] { return QDateTime::currentDateTime(); };

    // The spinner reads Edit1's text before Edit1Change runs, so the handler
    // sees the position the typed text has just set.
    ui->UpDown1->setAssociate(ui->Edit1);
    connect(ui->Edit1, &QLineEdit::textChanged, this, [this] { handle(&Form1::Edit1Change); });
    connect(ui->TabControl1, &zeltrac::ui::TabControl::changed, this,
            [this] { handle(&Form1::TabControl1Change); });
    connect(ui->N5, &QAction::triggered, this, [this] { handle(&Form1::N5Click); });
    connect(ui->mmOpen, &QAction::triggered, this, [this] { handle(&Form1::mmOpenClick); });
    connect(ui->mmSave, &QAction::triggered, this, [this] { handle(&Form1::mmSaveClick); });
    connect(ui->mmPrRes, &QAction::triggered, this, [this] { handle(&Form1::mmPrResClick); });
    connect(ui->mmExit, &QAction::triggered, this, [this] { handle(&Form1::mmExitClick); });

    handle(&Form1::FormCreate);
}

Form1::~Form1() = default;

void Form1::setResultWindow(Form2* form)
{
    m_resultWindow = form;
}

Form2* Form1::resultWindow() const
{
    return m_resultWindow;
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
    // The flow grid at its designed 20 x 20 cells: "0" in the triangle.
    for (int c = 0; c < 20; ++c)
        for (int r = 0; r < 20 - c; ++r)
            ui->StringGrid3->setCell(c, r, QStringLiteral("0"));
}

void Form1::Edit1Change()
{
    const int n = ui->UpDown1->position();
    ui->StringGrid1->setColCount(n + 1);
    ui->StringGrid2->setColCount(n);
    ui->StringGrid3->setColCount(n - 1);
    ui->StringGrid3->setRowCount(n - 1);
    ui->StringGrid3->resize(flowGridSize(n));

    // Only the texts "" and "0" follow the triangle; any other text stays.
    for (int c = 0; c <= n - 2; ++c) {
        for (int r = 0; r <= n - 2; ++r) {
            const QString text = ui->StringGrid3->cell(c, r);
            if (text.isEmpty() || text == u"0")
                ui->StringGrid3->setCell(c, r, r < (n - 1) - c ? QStringLiteral("0") : QString());
        }
    }
}

void Form1::TabControl1Change()
{
    if (ui->TabControl1->tabIndex() == 1) {
        ui->mmOpen->setEnabled(false);
        ui->mmSave->setEnabled(false);
        ui->mmPrRes->setEnabled(true);
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
        CalcResultMetod1();
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

void Form1::showPlanTexts(const TextTable& texts)
{
    for (int r = 0; r < texts.rowCount(); ++r)
        for (int c = 0; c < texts.columnCount(); ++c)
            ui->StringGrid4->setCell(c, r, QString::fromStdString(texts.cell(c, r)));
    ui->StringGrid4->viewport()->repaint();
}

void Form1::CalcResultMetod1()
{
    zeltrac::CalcInput input;
    const int n = ui->UpDown1->position();
    input.stationCount = n;
    input.stationParams = gridTexts(*ui->StringGrid2, n, 2);
    input.flows = gridTexts(*ui->StringGrid3, n - 1, n - 1);
    input.decimalSeparator = decimalSeparator().toStdString();

    zeltrac::CalcHooks hooks;
    hooks.onTrainFixed = [this](const zeltrac::StepView& step) {
        // "По шагам" is read anew at every step.
        if (!ui->N5->isChecked())
            return;
        showPlanTexts(step.workFlowTexts());
        zeltrac::ui::showInformation(this, QString::fromUtf8(zeltrac::messages::nextStep));
    };
    hooks.onPlan = [this](const TextTable& plan) { showPlanTexts(plan); };

    const zeltrac::CalcResult result = zeltrac::calculatePlan(input, m_tables, hooks);
    if (result.status == zeltrac::CalcStatus::NotEnoughData)
        zeltrac::ui::showInformation(this, QString::fromUtf8(zeltrac::messages::notEnoughData));
}

void Form1::print2RE()
{
    zeltrac::report::ReportInput input;
    input.operatorName = ui->Edit2->text().toStdString();

    input.dateTime = zeltrac::report::reportDateTime(QLocale::system(), currentDateTime());

    input.decimalSeparator = decimalSeparator().toStdString();
    const TextGrid& params = *ui->StringGrid2;
    const TextGrid& flows = *ui->StringGrid3;
    const TextGrid& plan = *ui->StringGrid4;
    input.stationParams = gridTexts(params, params.colCount(), params.rowCount());
    input.flows = gridTexts(flows, flows.colCount(), flows.rowCount());
    input.plan = gridTexts(plan, plan.colCount(), plan.rowCount());
    input.tables = &m_tables;

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
        zeltrac::report::composeReport(input, lines);
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
    // Everything is read and checked before anything on the window changes.
    const zeltrac::datafile::InitialData data = zeltrac::datafile::load(path);
    ui->UpDown1->setPosition(data.stationCount);
    Edit1Change();
    const int n = ui->StringGrid2->colCount();
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            ui->StringGrid2->setCell(c, r, data.param(c, r));
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            ui->StringGrid3->setCell(c, r, data.flow(c, r));
}

void Form1::mmSaveClick()
{
    const QString path = saveFileDialog(QDir::currentPath(), m_saveFileName);
    if (path.isEmpty())
        return;
    m_saveFileName = path;

    zeltrac::datafile::InitialData data;
    const int n = ui->StringGrid2->colCount();
    data.stationCount = n;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            data.stationParams << ui->StringGrid2->cell(c, r);
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            data.flows << ui->StringGrid3->cell(c, r);
    zeltrac::datafile::save(path, data);
}
