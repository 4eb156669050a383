#pragma once

// Reads an RTF document back through LibreOffice, as a planner's word
// processor would: the text it shows, line by line.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <optional>

namespace zeltrac::testutil {

// The word processor's program, or an empty text when none is installed.
inline QString wordProcessor()
{
    return QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
}

// Converts `path` with LibreOffice's filter `convertTo` (its file read with
// `inFilter` when given) to a UTF-8 text file of extension `extension`, and
// returns its lines (the byte-order mark dropped, CR LF taken as one line end,
// no empty line after the last end). Each conversion gets a profile folder of
// its own: two conversions sharing one clash. Returns nothing, with the
// reason in `error`, when it fails.
inline std::optional<QStringList> convertWithOffice(const QString& path, const QString& inFilter,
                                                    const QString& convertTo,
                                                    const QString& extension, QString& error)
{
    QTemporaryDir work;
    if (!work.isValid()) {
        error = QStringLiteral("no temporary folder");
        return std::nullopt;
    }
    QProcess process;
    process.setWorkingDirectory(work.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{
        QStringLiteral("--headless"),
        QStringLiteral("-env:UserInstallation=") +
            QUrl::fromLocalFile(work.filePath(QStringLiteral("profile"))).toString()};
    if (!inFilter.isEmpty())
        arguments << QStringLiteral("--infilter=") + inFilter;
    arguments << QStringLiteral("--convert-to") << convertTo << QStringLiteral("--outdir")
              << work.filePath(QStringLiteral("out")) << path;
    process.start(wordProcessor(), arguments);
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        error = QStringLiteral("LibreOffice did not finish");
        return std::nullopt;
    }
    const QString output = QString::fromLocal8Bit(process.readAll());
    QFile file(work.filePath(QStringLiteral("out/") + QFileInfo(path).completeBaseName() + u'.' +
                             extension));
    if (process.exitCode() != 0 || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("conversion failed: ") + output;
        return std::nullopt;
    }
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

// Converts `rtfPath` to UTF-8 text as a word processor reads it.
inline std::optional<QStringList> readWithWordProcessor(const QString& rtfPath, QString& error)
{
    return convertWithOffice(rtfPath, {}, QStringLiteral("txt:Text (encoded):UTF8"),
                             QStringLiteral("txt"), error);
}

} // namespace zeltrac::testutil
