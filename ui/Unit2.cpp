#include "ui/Unit2.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "calc/error.h"
#include "report/rtf.h"
#include "ui/errorbox.h"
#include "ui/filedialog.h"
#include "ui/fonts.h"
#include "ui/printdialog.h"
#include "ui_Unit2.h"

// The button picture lives in the UI library's resources; a static library
// needs them registered explicitly.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

// "В файл": the report as an RTF document.
zeltrac::ui::FileDialogSettings rtfDialog()
{
    return {QFileDialog::AcceptSave, QString(), QStringLiteral("SaveDialog1"),
            QStringLiteral("Текстовые Фалы RTF(*.rtf)"), QStringLiteral("rtf")};
}

// The fixed-pitch font the report's columns count on; Liberation Mono has
// the metrics of Courier New.
QFont reportFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(9);
    return font;
}

} // namespace

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Form2>())
{
    initResources();
    ui->setupUi(this);
    // Placed where designed, frame included; the client area of 587 x 421
    // leaves RichEdit1 587 x 394 below the button panel.
    move(244, 152);
    setFont(zeltrac::ui::windowFont());
    ui->RichEdit1->setFont(reportFont());
    // Closing only hides the window; the program ends with the main window.
    setAttribute(Qt::WA_QuitOnClose, false);

    printDialog = [this](QPrinter& printer) { return zeltrac::ui::execPrintDialog(this, printer); };
    saveFileDialog = [this](const QString& folder) {
        return zeltrac::ui::runFileDialog(this, rtfDialog(), folder, QString());
    };

    connect(ui->BitBtn1, &QPushButton::clicked, this, &Form2::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &Form2::BitBtn2Click);
    connect(ui->BitBtn3, &QPushButton::clicked, this, &Form2::BitBtn3Click);
}

Form2::~Form2() = default;

QTextEdit* Form2::richEdit() const
{
    return ui->RichEdit1;
}

void Form2::clearReport()
{
    ui->RichEdit1->clear();
}

void Form2::addLines(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    QTextDocument* document = ui->RichEdit1->document();
    // An empty view holds one empty paragraph: the first line goes into it.
    bool first = document->isEmpty();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const QString& line : lines) {
        if (!first)
            cursor.insertBlock();
        first = false;
        cursor.insertText(line, QTextCharFormat());
    }
    cursor.endEditBlock();
    // The report is read from its beginning.
    ui->RichEdit1->moveCursor(QTextCursor::Start);
    ui->RichEdit1->ensureCursorVisible();
}

QStringList Form2::reportLines() const
{
    const QTextDocument* document = ui->RichEdit1->document();
    QStringList lines;
    if (document->isEmpty())
        return lines;
    // A line break typed inside a paragraph (Shift+Enter) starts a new line.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines.append(block.text().split(QChar::LineSeparator));
    return lines;
}

void Form2::showReport()
{
    show();
    raise();
    activateWindow();
}

void Form2::BitBtn1Click()
{
    zeltrac::ui::guarded(this, [this] {
        QPrinter printer(QPrinter::HighResolution);
        if (!printDialog(printer))
            return;
        printer.setDocName(QString());
        printer.setFullPage(false);
        // Lay the text out over the whole printable area.
        printer.setPageMargins(printer.pageLayout().minimumMargins(), printer.pageLayout().units());

        // A copy of the text laid out for the printer: wrapped at the page
        // width, paginated by the page height. With its page size set, the
        // document prints without page numbers.
        std::unique_ptr<QTextDocument> document(ui->RichEdit1->document()->clone());
        document->documentLayout()->setPaintDevice(&printer);
        document->setDocumentMargin(0);
        document->setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
        document->print(&printer);
        if (printer.printerState() == QPrinter::Error)
            throw zeltrac::Error("Не удалось напечатать отчет");
    });
}

void Form2::BitBtn2Click()
{
    close();
}

void Form2::BitBtn3Click()
{
    zeltrac::ui::guarded(this, [this] {
        const QString path = saveFileDialog(QDir::currentPath());
        if (path.isEmpty())
            return;
        // Whatever gave the name, one typed without an extension gets the
        // dialog's default one.
        zeltrac::report::saveRtf(zeltrac::ui::withDefaultSuffix(path, rtfDialog().defaultSuffix),
                                 reportLines());
    });
}
