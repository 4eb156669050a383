#include "ui/PlanDiagramWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>

#include "calc/error.h"
#include "diagram/picture.h"
#include "ui/errorbox.h"
#include "ui/filedialog.h"
#include "ui/fonts.h"
#include "ui/plandiagramview.h"
#include "ui/printdialog.h"
#include "ui_PlanDiagramWindow.h"

using namespace zeltrac::diagram;

namespace {

const QString svgFilter = QStringLiteral("Рисунок SVG (*.svg)");
const QString pngFilter = QStringLiteral("Рисунок PNG (*.png)");
const QString pdfFilter = QStringLiteral("Документ PDF (*.pdf)");

zeltrac::ui::FileDialogSettings saveDialogSettings()
{
    return {QFileDialog::AcceptSave, QStringLiteral("Сохранить схему"),
            QStringLiteral("DiagramSaveDialog"),
            QStringList{svgFilter, pngFilter, pdfFilter}.join(QStringLiteral(";;")),
            QStringLiteral("svg")};
}

} // namespace

PlanDiagramWindow::PlanDiagramWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::PlanDiagramWindow>())
{
    ui->setupUi(this);
    setFont(zeltrac::ui::windowFont());
    setAttribute(Qt::WA_QuitOnClose, false);

    saveFileDialog = [this](const QString& folder, const QString& lastName) {
        return zeltrac::ui::runFileDialog(this, saveDialogSettings(), folder, lastName);
    };
    printDialog = [this](QPrinter& printer) { return zeltrac::ui::execPrintDialog(this, printer); };

    connect(ui->PlanChoice, &QComboBox::currentIndexChanged, this,
            &PlanDiagramWindow::showChosenPlans);
    connect(ui->SaveButton, &QPushButton::clicked, this, &PlanDiagramWindow::saveAs);
    connect(ui->PrintButton, &QPushButton::clicked, this, &PlanDiagramWindow::print);
    connect(ui->CloseButton, &QPushButton::clicked, this, &QWidget::close);
    setPlans(DiagramPlan{});
}

PlanDiagramWindow::~PlanDiagramWindow() = default;

PlanDiagramView* PlanDiagramWindow::view() const
{
    return ui->DiagramView;
}

void PlanDiagramWindow::setPlans(const DiagramPlan& analytical, std::optional<DiagramPlan> exact)
{
    m_analytical = analytical;
    m_exact = std::move(exact);
    ui->PlanChoiceLabel->setVisible(m_exact.has_value());
    ui->PlanChoice->setVisible(m_exact.has_value());
    {
        const QSignalBlocker blocker(ui->PlanChoice);
        ui->PlanChoice->setCurrentIndex(
            static_cast<int>(m_exact ? PlanChoice::Both : PlanChoice::Analytical));
    }
    showChosenPlans();
}

void PlanDiagramWindow::setPlanChoice(PlanChoice choice)
{
    if (!m_exact)
        choice = PlanChoice::Analytical;
    ui->PlanChoice->setCurrentIndex(static_cast<int>(choice));
    showChosenPlans();
}

PlanDiagramWindow::PlanChoice PlanDiagramWindow::planChoice() const
{
    return m_exact ? static_cast<PlanChoice>(ui->PlanChoice->currentIndex())
                   : PlanChoice::Analytical;
}

void PlanDiagramWindow::showChosenPlans()
{
    ui->DiagramView->setPanels(planPanels(m_analytical, m_exact, planChoice()));
}

void PlanDiagramWindow::saveTo(const QString& path) const
{
    const ImageFormat format = formatOfFile(path);
    savePicture(ui->DiagramView->picture(), path, format, ui->DiagramView->diagramFont());
}

void PlanDiagramWindow::saveAs()
{
    zeltrac::ui::guarded(this, [this] {
        const QString folder =
            m_lastSaveName.isEmpty() ? QDir::currentPath() : QFileInfo(m_lastSaveName).path();
        QString path = saveFileDialog(folder, m_lastSaveName);
        if (path.isEmpty())
            return;
        // A name without an extension is saved as SVG.
        path = zeltrac::ui::withDefaultSuffix(path, QStringLiteral("svg"));
        m_lastSaveName = path;
        saveTo(path);
    });
}

void PlanDiagramWindow::print()
{
    zeltrac::ui::guarded(this, [this] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        if (!printDialog(printer))
            return;
        printer.setDocName(windowTitle());
        const DiagramPicture& picture = ui->DiagramView->picture();
        QPainter painter;
        if (!painter.begin(&printer))
            throw zeltrac::Error("Не удалось напечатать схему");
        // The whole picture on one page, as large as the page allows.
        const QRectF page = printer.pageRect(QPrinter::DevicePixel);
        const double scale = std::min(page.width() / std::max(picture.width, 1.0),
                                      page.height() / std::max(picture.height, 1.0));
        painter.scale(scale, scale);
        paintPicture(painter, picture, ui->DiagramView->diagramFont());
        painter.end();
        if (printer.printerState() == QPrinter::Error)
            throw zeltrac::Error("Не удалось напечатать схему");
    });
}
