// The formation-plan diagram window: the plan switch, hints, marking a
// station's trains, scaling with the window, saving and printing.
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "diagram/picture.h"
#include "ui/PlanDiagramWindow.h"
#include "ui/plandiagramview.h"
#include "ui/tests/testutil.h"
#include "ui/tests/uihelpers.h"

using namespace zeltrac::diagram;
using zeltrac::testutil::BoxAnswerer;

namespace {

DiagramPlan analyticalPlan()
{
    DiagramPlan plan;
    plan.stationCount = 5;
    plan.reforming = {false, true, false, true, false};
    plan.trains = {{1, 5, 310, TrainKind::Through},
                   {1, 5, 40, TrainKind::Local},
                   {2, 4, 125, TrainKind::Local},
                   {3, 5, 60, TrainKind::Through}};
    return plan;
}

DiagramPlan exactPlan()
{
    return planFromTrains(5, {false, true, false, true, false}, {{1, 5, 350}, {2, 5, 185}});
}

// Every arc of every panel shown, by its panel's title.
QStringList shownTitles(const PlanDiagramView* view)
{
    QStringList titles;
    for (const PicturePanel& panel : view->picture().panels)
        titles << panel.title;
    return titles;
}

bool isSvgWithCurves(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader xml(&file);
    int curves = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("path") &&
            xml.attributes().value(QLatin1String("d")).contains(u'C'))
            ++curves;
    }
    return !xml.hasError() && curves > 0;
}

} // namespace

class PlanDiagramTest : public QObject
{
    Q_OBJECT

private slots:
    void switchShowsOnlyWithAnExactPlan()
    {
        PlanDiagramWindow window;
        window.setPlans(analyticalPlan());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* choice = window.findChild<QComboBox*>(QStringLiteral("PlanChoice"));
        QVERIFY(choice);
        QVERIFY(!choice->isVisible());
        QCOMPARE(window.windowTitle(), QStringLiteral("Схема плана"));
        QCOMPARE(shownTitles(window.view()), QStringList{QStringLiteral("Аналитический план")});
        window.setPlanChoice(PlanDiagramWindow::PlanChoice::Exact); // nothing to show: ignored
        QCOMPARE(window.planChoice(), PlanDiagramWindow::PlanChoice::Analytical);

        window.setPlans(analyticalPlan(), exactPlan());
        QVERIFY(choice->isVisible());
        QCOMPARE(window.planChoice(), PlanDiagramWindow::PlanChoice::Both);
        QCOMPARE(shownTitles(window.view()), (QStringList{QStringLiteral("Аналитический план"),
                                                          QStringLiteral("Точный оптимум")}));
        const auto& panels = window.view()->picture().panels;
        QVERIFY(panels[1].top > panels[0].layoutTop); // one above the other

        choice->setCurrentIndex(1);
        QCOMPARE(shownTitles(window.view()), QStringList{QStringLiteral("Точный оптимум")});
        QCOMPARE(window.view()->picture().panels[0].layout.arcs.size(), 2u);
        QCOMPARE(window.view()->picture().panels[0].layout.arcs[0].kind, TrainKind::Exact);
        choice->setCurrentIndex(0);
        QCOMPARE(shownTitles(window.view()), QStringList{QStringLiteral("Аналитический план")});

        // The analytical plan alone again: the switch goes.
        window.setPlans(analyticalPlan());
        QVERIFY(!choice->isVisible());
        QCOMPARE(shownTitles(window.view()), QStringList{QStringLiteral("Аналитический план")});
    }

    void hoverHintsAndStationClicks()
    {
        PlanDiagramWindow window;
        window.setPlans(analyticalPlan());
        window.resize(900, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PlanDiagramView* view = window.view();

        // The local part of cell 1 -> 5 is its own arc with its own hint.
        const auto& arcs = view->picture().panels[0].layout.arcs;
        QCOMPARE(arcs[1].kind, TrainKind::Local);
        const QPoint apex = view->apexOnScreen(0, 1).toPoint() + QPoint(0, 1);
        QCOMPARE(view->hintAt(apex),
                 QStringLiteral("Местный поезд\nСтанция формирования: 1\nСтанция назначения: 5\n"
                                "Вагонов: 40"));
        QTest::mouseMove(view, apex);
        QTRY_COMPARE(view->hoveredArc().arc, 1);
        QCOMPARE(view->hintAt(view->apexOnScreen(0, 0).toPoint() + QPoint(0, 1)),
                 QStringLiteral("Сквозной поезд\nСтанция формирования: 1\nСтанция назначения: 5\n"
                                "Вагонов: 310"));
        QVERIFY(view->hintAt(QPoint(2, view->height() - 2)).isEmpty());

        // Clicking station 4 marks its trains; the picture shows them in colour
        // and fades the others.
        int signalled = -1;
        connect(view, &PlanDiagramView::stationSelected, this, [&](int s) { signalled = s; });
        QTest::mouseClick(view, Qt::LeftButton, {}, view->stationOnScreen(0, 4).toPoint());
        QCOMPARE(view->selectedStation(), 4);
        QCOMPARE(signalled, 4);
        const QImage shot = view->grab().toImage();
        auto colourAt = [&](int arc) {
            const QPoint p = view->apexOnScreen(0, arc).toPoint();
            return shot.pixelColor(p.x(), p.y());
        };
        QCOMPARE(colourAt(2), arcColor(TrainKind::Local));    // 2 -> 4
        QVERIFY(colourAt(0) != arcColor(TrainKind::Through)); // 1 -> 5 faded
        QVERIFY(colourAt(3) != arcColor(TrainKind::Through)); // 3 -> 5 faded

        // The same station again clears the mark.
        QTest::mouseClick(view, Qt::LeftButton, {}, view->stationOnScreen(0, 4).toPoint());
        QCOMPARE(view->selectedStation(), 0);
        QCOMPARE(signalled, 0);
    }

    void pictureScalesWithTheWindow()
    {
        PlanDiagramWindow window;
        window.setPlans(analyticalPlan(), exactPlan());
        window.resize(1200, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PlanDiagramView* view = window.view();
        QCOMPARE(view->scale(), 1.0);
        QCOMPARE(view->picture().width, double(view->width()));

        // Lower than the picture: scaled down to fit, still the whole width.
        window.resize(700, 220);
        QTRY_VERIFY(view->height() < 200);
        QVERIFY(view->scale() < 1.0);
        QVERIFY(view->picture().width * view->scale() <= view->width() + 0.5);
        QVERIFY(view->picture().height * view->scale() <= view->height() + 0.5);
        QVERIFY(view->picture().width * view->scale() >= view->width() * 0.9 ||
                view->picture().height * view->scale() >= view->height() * 0.9);
        // Hit testing follows the scale.
        const QPoint apex = view->apexOnScreen(0, 0).toPoint() + QPoint(0, 1);
        QCOMPARE(view->arcAt(apex).arc, 0);
        QCOMPARE(view->stationAt(view->stationOnScreen(0, 3).toPoint()), 3);
    }

    void saveAsWritesTheChosenFormat()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        PlanDiagramWindow window;
        window.setPlans(analyticalPlan(), exactPlan());
        window.show();
        QString answer;
        QStringList lastNames;
        window.saveFileDialog = [&](const QString&, const QString& lastName) {
            lastNames << lastName;
            return answer;
        };
        auto* save = window.findChild<QPushButton*>(QStringLiteral("SaveButton"));
        QVERIFY(save);
        QCOMPARE(save->text(), QStringLiteral("Сохранить как…"));

        answer = dir.filePath(QStringLiteral("схема"));
        {
            BoxAnswerer boxes;
            save->click();
            QCOMPARE(boxes.texts(), QStringList{});
        }
        QVERIFY(isSvgWithCurves(answer + QStringLiteral(".svg")));

        answer = dir.filePath(QStringLiteral("plan.png"));
        save->click();
        const QImage png(answer);
        QVERIFY(!png.isNull());
        QCOMPARE(png.width(), qRound(window.view()->picture().width));

        answer = dir.filePath(QStringLiteral("plan.pdf"));
        save->click();
        QFile pdf(answer);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.readAll().startsWith("%PDF-"));
        QCOMPARE(lastNames.last(), dir.filePath(QStringLiteral("plan.png")));

        // Cancelled: nothing written. A format it cannot write: an error box.
        answer.clear();
        save->click();
        answer = dir.filePath(QStringLiteral("plan.bmp"));
        {
            BoxAnswerer boxes;
            save->click();
            QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral(
                                            "Схема сохраняется только в файлы SVG, PNG и PDF.")});
        }
        QVERIFY(!QFile::exists(answer));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
    }

    void printGoesThroughThePrintDialog()
    {
        QTemporaryDir dir;
        PlanDiagramWindow window;
        window.setPlans(analyticalPlan());
        window.show();
        const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
        bool accept = false;
        int dialogs = 0;
        window.printDialog = [&](QPrinter& printer) {
            ++dialogs;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return accept;
        };
        auto* print = window.findChild<QPushButton*>(QStringLiteral("PrintButton"));
        QVERIFY(print);
        print->click();
        QCOMPARE(dialogs, 1);
        QVERIFY(!QFile::exists(pdf));

        accept = true;
        print->click();
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("%PDF-"));

        window.printDialog = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(QStringLiteral("нет/print.pdf")));
            return true;
        };
        BoxAnswerer boxes;
        print->click();
        QTRY_COMPARE(boxes.texts(), QStringList{QStringLiteral("Не удалось напечатать схему.")});
    }
};

ZELTRAC_REGISTER_TEST(PlanDiagramTest);

#include "plandiagram_test.moc"
