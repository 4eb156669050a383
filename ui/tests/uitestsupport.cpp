#include "ui/tests/uitestsupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QTest>
#include <QTimer>

namespace zeltrac::testutil {

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
