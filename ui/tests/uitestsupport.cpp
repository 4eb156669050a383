#include "ui/tests/uitestsupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "ui/textgrid.h"
#include "workbook/celltable.h"
#include "workbook/workbook.h"

namespace zeltrac::testutil {

namespace {

template <typename Table> QStringList joinedRows(const Table& table, int columns, int rows)
{
    QStringList texts;
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        for (int c = 0; c < columns; ++c)
            cells << table.cell(c, r);
        texts << cells.join(u'|');
    }
    return texts;
}

} // namespace

void typeFiveStationLine(zeltrac::Workbook& workbook)
{
    const int n = 5;
    workbook.setStationCount(n);
    const char* cm[] = {"8", "3", "8", "2"};
    const char* tek[] = {"0", "1", "2", "2"};
    for (int i = 0; i < 4; ++i) {
        workbook.setParam(i, 0, QString::fromLatin1(cm[i]));
        workbook.setParam(i, 1, QString::fromLatin1(tek[i]));
    }
    const struct
    {
        int origin, destination;
        const char* cars;
    } flows[] = {{1, 2, "4"}, {1, 3, "3"}, {1, 4, "9"}, {1, 5, "4"}, {2, 3, "5"},
                 {2, 4, "2"}, {2, 5, "2"}, {3, 4, "2"}, {3, 5, "2"}, {4, 5, "8"}};
    for (const auto& f : flows)
        workbook.setFlow(f.origin - 1, n - f.destination, QString::fromLatin1(f.cars));
}

void CalculatedLineTest::init()
{
    m_workbook = std::make_unique<Workbook>();
    typeFiveStationLine(*m_workbook);
    QCOMPARE(m_workbook->calculate(), CalcStatus::Completed);
}

void CalculatedLineTest::cleanup()
{
    m_workbook.reset();
}

int loadCalculatedFile(zeltrac::Workbook& workbook, int argc, char** argv, const char* program)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.dat\n", program);
        return 2;
    }
    workbook.load(QString::fromLocal8Bit(argv[1]));
    if (workbook.calculate() != CalcStatus::Completed) {
        std::fprintf(stderr, "the calculation did not complete\n");
        return 1;
    }
    return 0;
}

QStringList rowTexts(const zeltrac::ui::TextGrid* grid)
{
    return joinedRows(*grid, grid->colCount(), grid->rowCount());
}

QStringList rowTexts(const zeltrac::CellTableModel* model)
{
    return joinedRows(*model, model->columnCount(), model->rowCount());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QList<BoxRecord> answerBoxes(const std::function<void()>& action)
{
    BoxAnswerer answerer;
    action();
    return QList<BoxRecord>(answerer.boxes().begin(), answerer.boxes().end());
}

bool answerModalDialog(const std::function<void()>& action,
                       const std::function<QDialog*(QWidget*)>& match,
                       const std::function<void(QDialog*)>& answer)
{
    bool seen = false;
    int idleTicks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QDialog* dialog = match(QApplication::activeModalWidget());
        if (!dialog) {
            // A dialog that never comes is the caller's to notice.
            if (++idleTicks > 500)
                timer.stop();
            return;
        }
        seen = true;
        timer.stop();
        answer(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    timer.start(10);
    action();
    return seen;
}

QString firstInstalledFamily(const QStringList& families)
{
    for (const QString& family : families)
        if (QFontDatabase::hasFamily(family))
            return family;
    return {};
}

QStringList windowFontFamilies()
{
    return {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
            QStringLiteral("DejaVu Sans")};
}

QString testProgramTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

void expectErrorBox(const BoxRecord& box, const QString& text)
{
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, testProgramTitle());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
}

void expectInformationBox(const BoxRecord& box, const QString& text)
{
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, QStringLiteral("Information"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
}

} // namespace zeltrac::testutil
