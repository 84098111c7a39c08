#pragma once

#include "storage/origins.h"
#include "storage/resultfile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A harvest taken away to a spreadsheet: one row a keyword, in harvest order, under the header
// 关键词, 源关键字, 来源词, 层级, 字数.

// One seed's harvest.
struct HarvestPart {
    QString seed;
    QStringList keywords;
    Origins origins; // unknown where it has none
};

enum class ExportFormat { Xlsx, Csv };

// The columns of one keyword's row; depth 0 (unknown) leaves 层级 empty.
struct ExportRow {
    QString keyword, seed, parent;
    int depth = 0;
    qsizetype characters = 0; // whole characters: a surrogate pair is one
};
ExportRow exportRow(const HarvestPart &part, qsizetype i);
QStringList exportHeader();

// CSV as Excel and WPS open it: UTF-8 with its byte-order mark, CR LF, RFC 4180 quoting.
QByteArray harvestCsv(const QList<HarvestPart> &parts);
// Writes the workbook or the CSV file under path in one rename, once it is whole and on the
// disk: a failure leaves what was there, and says why in the system's words.
SaveResult exportHarvest(const QString &path, ExportFormat format, const QList<HarvestPart> &parts);
