// The questions about unsaved data: before the main window closes or opens
// another file, and at start after a crash.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/Unit1.h"
#include "ui/recovery.h"
#include "ui/tests/uitestsupport.h"
#include "workbook/recovery.h"
#include "workbook/workbook.h"

namespace {

const QString kAskInput = QStringLiteral("Сохранить изменения в исходных данных?");

// Runs `action` and answers its message boxes in turn with the buttons
// named in `answers`, a box beyond them with its first button; returns the
// boxes' texts.
QStringList answering(const std::function<void()>& action, QStringList answers)
{
    QStringList texts;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        texts << box->text();
        const QString name = answers.isEmpty() ? QString() : answers.takeFirst();
        for (QAbstractButton* button : box->buttons())
            if (name.isEmpty() || button->text() == name)
                return button->click();
    });
    timer.start(10);
    action();
    return texts;
}

} // namespace

class UnsavedTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

private slots:
    void exitAsksOnlyAboutChanges()
    {
        const QString file = path("a.dat");
        const QString missing = path("нет/a.dat");
        const struct
        {
            const char* answer;   // to the question, when one comes
            bool change, hasFile; // a.dat saved before the change
            QString saveAs;       // what the save dialog returns
            bool closed, saved;
        } cases[] = {
            {"", false, false, file, true, false},
            {"Отмена", true, false, file, false, false},
            {"Нет", true, false, file, true, false},
            {"Да", true, false, file, true, true},
            {"Да", true, true, QString(), true, true},
            {"Да", true, false, QString(), false, false},
            {"Да", true, false, missing, false, false},
        };
        for (const auto& c : cases) {
            QFile::remove(file);
            Form1 form;
            form.saveFileDialog = [&](const QString&, const QString&) { return c.saveAs; };
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            if (c.hasFile)
                form.workbook().save(file);
            if (c.change)
                form.workbook().setParam(0, 0, QStringLiteral("77"));
            QCOMPARE(form.isWindowModified(), c.change);

            QAction* exit = form.findChild<QAction*>(QStringLiteral("mmExit"));
            const QStringList boxes =
                answering([&] { exit->trigger(); }, {QString::fromUtf8(c.answer)});
            QCOMPARE(boxes.value(0), c.change ? kAskInput : QString());
            // A save that fails says so in the error box.
            QCOMPARE(boxes.size(), int(c.change) + int(c.saveAs == missing && c.change));
            QCOMPARE(form.isVisible(), !c.closed);
            zeltrac::Workbook written;
            if (c.saved)
                written.load(file);
            QCOMPARE(written.param(0, 0), c.saved ? QStringLiteral("77") : QString());
            QCOMPARE(form.isWindowModified(), c.change && !c.saved);
        }
    }

    void openAndConditionsAsk()
    {
        Form1 form;
        form.workbook().setParam(0, 0, QStringLiteral("7"));
        form.openFileDialog = [](const QString&, const QString&) -> QString {
            qFatal("unexpected open dialog");
        };
        QAction* open = form.findChild<QAction*>(QStringLiteral("mmOpen"));
        QCOMPARE(answering([&] { open->trigger(); }, {u"Отмена"_qs}), QStringList{kAskInput});

        form.workbook().setConditions({{{1, 3}}, {}, {}, {}});
        form.workbook().setPlanInForce({{{1, 4}}});
        const QStringList asked{kAskInput,
                                QStringLiteral("Сохранить изменения в условиях точного оптимума?"),
                                QStringLiteral("Сохранить изменения в действующем плане?")};
        QCOMPARE(answering([&] { QVERIFY(!form.close()); }, {u"Нет"_qs, u"Нет"_qs, u"Отмена"_qs}),
                 asked);
        // "Да": the plan window's own save, into the file its dialog names.
        form.planWindow()->savePlanDialog = [&](const QString&) { return path("p.json"); };
        QCOMPARE(answering([&] { QVERIFY(form.close()); }, {u"Нет"_qs, u"Нет"_qs, u"Да"_qs}),
                 asked);
        QCOMPARE(form.workbook().planInForceDocument().fileName(), path("p.json"));
    }

    void aCrashedSessionIsOffered()
    {
        QCOMPARE(zeltrac::ui::restoreQuestion(QDateTime(QDate(2026, 12, 9), QTime(14, 5, 59))),
                 QStringLiteral("Восстановить несохранённые данные от 09.12.2026 14:05?"));
        const QString folder = path("recovery");
        QVERIFY(QDir().mkpath(folder));
        // Texts as typed, the operator, conditions, the file they belong to.
        zeltrac::Workbook typed;
        typed.setParam(1, 1, QStringLiteral(" 2,5 "));
        typed.setFlow(2, 2, QStringLiteral("x\ty"));
        typed.setOperatorName(QStringLiteral("Петров"));
        typed.setConditions({{}, {{1, 4}}, {}, {}});
        typed.setPlanInForce({{{2, 5}}});
        typed.inputDocument().setUnsaved(path("line.dat"));
        for (const bool take : {false, true}) {
            const QString file = folder + QStringLiteral("/recovery-1-1.json");
            QVERIFY(zeltrac::testutil::writeFile(file, zeltrac::recovery::compose(typed)));
            const QString question = zeltrac::ui::restoreQuestion(QFileInfo(file).lastModified());
            Form1 form;
            bool restored = false;
            const QStringList asked = answering(
                [&] { restored = zeltrac::ui::offerRecovery(&form, form.workbook(), folder); },
                {take ? u"Да"_qs : u"Нет"_qs});
            QCOMPARE(asked, QStringList{question});
            QCOMPARE(restored, take);
            const zeltrac::Workbook& book = form.workbook();
            QCOMPARE(book.inputDocument().state() == typed.inputDocument().state(), take);
            QCOMPARE(book.conditions() == typed.conditions(), take);
            QCOMPARE(book.planInForce() == typed.planInForce(), take);
            QCOMPARE(book.inputDocument().fileName(), take ? path("line.dat") : QString());
            QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("Edit2"))->text(),
                     book.operatorName());
            QCOMPARE(form.isWindowModified(), take);
            QVERIFY(!QFile::exists(file));
        }
    }

    void aDamagedFileIsNotOfferedButKeptAside()
    {
        const QString folder = path("damaged");
        const QString file = folder + QStringLiteral("/recovery-2-2.json");
        QVERIFY(QDir().mkpath(folder) && zeltrac::testutil::writeFile(file, "{\"format\": 1"));
        const QString written =
            QFileInfo(file).lastModified().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        Form1 form;
        bool restored = true;
        const QStringList boxes = answering(
            [&] { restored = zeltrac::ui::offerRecovery(&form, form.workbook(), folder); }, {});
        QCOMPARE(boxes, QStringList{QStringLiteral("Несохранённые данные от %1 не восстановить. "
                                                   "Файл восстановления повреждён. Файл "
                                                   "оставлен как %2.damaged.")
                                        .arg(written, QDir::toNativeSeparators(file))});
        QVERIFY(!restored);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{u"recovery-2-2.json.damaged"_qs});
    }
};

ZELTRAC_REGISTER_TEST(UnsavedTest);

#include "unsaved_test.moc"
