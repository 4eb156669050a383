// Runs the built zeltrac-cli for the end-to-end tests: its exit status and
// output, the bundled example files and small data files written by a test.
// The including target defines ZELTRAC_CLI_PATH and ZELTRAC_EXAMPLES_DIR.

#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace zeltrac::clitest {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QStringList lines() const
    {
        QStringList list = QString::fromUtf8(out).split(u'\n');
        if (!list.isEmpty() && list.back().isEmpty())
            list.removeLast();
        return list;
    }
    nlohmann::json json() const { return nlohmann::json::parse(out.toStdString()); }
    std::string error() const { return err.toStdString(); }
};

// A bundled example file.
inline QString example(const char* name)
{
    return QStringLiteral(ZELTRAC_EXAMPLES_DIR "/") + QString::fromUtf8(name);
}

// Runs the tool under the given locale (the decimal separator and the date
// and time formats come from it). `setUp` may set the program and arguments
// itself; otherwise the tool is started with `arguments`.
inline CliRun runCli(const QStringList& arguments, const QString& locale = QStringLiteral("C"),
                     const std::function<void(QProcess&)>& setUp = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_NUMERIC", "LC_TIME", "LC_MESSAGES", "LC_CTYPE"})
        environment.remove(QString::fromLatin1(name));
    // No display, no platform chosen, no runtime folder: the tool needs none.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LANG"), locale);
    environment.insert(QStringLiteral("LC_ALL"), locale);

    QProcess process;
    process.setProcessEnvironment(environment);
    if (setUp)
        setUp(process);
    if (process.program().isEmpty())
        process.start(QStringLiteral(ZELTRAC_CLI_PATH), arguments);
    else
        process.start();
    CliRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "zeltrac-cli did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// A data file from its lines, each ending CR LF, in windows-1251 (the tests
// use ASCII texts only).
inline QString writeDataFile(const QTemporaryDir& dir, const char* name, const QStringList& lines)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    for (const QString& line : lines)
        file.write(line.toLatin1() + "\r\n");
    return path;
}

} // namespace zeltrac::clitest
