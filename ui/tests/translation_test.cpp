// The standard dialogs speak Russian once Qt's own translation is installed,
// while the program's message boxes keep their single "OK" button. A program
// of its own: the translation stays installed for the whole process.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>

#include "ui/errorbox.h"
#include "ui/tests/uihelpers.h"
#include "workbook/qttranslation.h"

using zeltrac::testutil::BoxAnswerer;

namespace {

QStringList labelTexts(const QWidget& widget)
{
    QStringList texts;
    const QList<QLabel*> labels = widget.findChildren<QLabel*>();
    for (const QLabel* label : labels)
        texts << label->text();
    return texts;
}

} // namespace

class QtTranslationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFileDialog untranslated;
        untranslated.setOption(QFileDialog::DontUseNativeDialog);
        const QStringList before = labelTexts(untranslated);
        QVERIFY2(before.contains(QStringLiteral("File &name:")), qPrintable(before.join(u'|')));
        if (!zeltrac::installQtTranslation(*qApp)) {
            const QString reason = QStringLiteral("Qt's Russian translation is not installed");
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(reason));
            QSKIP(qPrintable(reason));
        }
    }

    void fileDialogLabelsAreRussian()
    {
        QFileDialog dialog(nullptr, QStringLiteral("Открыть"), QDir::tempPath(),
                           QStringLiteral("Исходные данные (*.dat)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        const QStringList texts = labelTexts(dialog);
        QVERIFY2(texts.contains(QStringLiteral("&Имя файла:")), qPrintable(texts.join(u'|')));
        QVERIFY2(texts.contains(QStringLiteral("Типы файлов:")), qPrintable(texts.join(u'|')));
        QVERIFY(!texts.contains(QStringLiteral("File &name:")));
        // The program's own texts are passed through unchanged.
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Открыть"));
        const QComboBox* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        QCOMPARE(types->currentText(), QStringLiteral("Исходные данные (*.dat)"));
    }

    void printDialogIsRussian()
    {
        QPrinter printer;
        QPrintDialog dialog(&printer);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Печать"));
    }

    void messageBoxesKeepTheirSingleOk()
    {
        BoxAnswerer answerer;
        zeltrac::ui::showErrorBox(nullptr, QStringLiteral("Нет данных"));
        zeltrac::ui::showInformation(nullptr, QStringLiteral("Готово"));
        QCOMPARE(answerer.boxes().size(), std::size_t(2));
        for (const zeltrac::testutil::BoxRecord& box : answerer.boxes())
            QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(answerer.boxes()[0].text, QStringLiteral("Нет данных."));
        QCOMPARE(answerer.boxes()[1].title, QStringLiteral("Information"));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QtTranslationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "translation_test.moc"
