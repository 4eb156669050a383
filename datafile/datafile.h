#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "calc/plan.h"

// The initial-data file (*.dat): one cell text per line, windows-1251,
// every line ending CR LF, N*N + 2 lines for N stations.
namespace zeltrac::datafile {

// The longest line accepted, its line end not counted; a cell needs a few
// hundred characters at most.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;

struct InitialData
{
    int stationCount = kStartupStations; // N, 3..21
    QStringList stationParams; // 2*N texts: Cm of stations 1..N, then Tек of stations 1..N
    QStringList flows;         // (N-1)^2 texts, row by row: index r*(N-1) + c

    QString param(int column, int row) const;
    QString flow(int column, int row) const;
};

// Lines <-> data, pure.
QStringList toLines(const InitialData& data);
// Throws zeltrac::Error with the exact message ("'%s' is not a valid integer
// value", "List index out of bounds (%d)"). Station count clamped to 3..21.
InitialData fromLines(const QStringList& lines);

// Bytes <-> lines. A line longer than kMaxLineBytes throws zeltrac::Error
// naming the line. Decoding maps every byte but CR, LF and NUL to one
// character and encoding maps it back, so any file survives a load and a save.
QStringList decodeLines(const QByteArray& bytes, qsizetype maxLines = -1);
// Throws zeltrac::Error when a text holds a character windows-1251 cannot represent.
QByteArray encodeLines(const QStringList& lines);

// Files. Loading reads no further than the lines the station count needs and
// checks everything before returning. Saving replaces the target only when
// everything was written.
InitialData load(const QString& path);
void save(const QString& path, const InitialData& data);

} // namespace zeltrac::datafile
