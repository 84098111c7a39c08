#include "storage/export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// A sheet's rows, its header included; a larger harvest goes on in the next sheet.
constexpr qsizetype kSheetRows = 1048576;
constexpr double kMaxColumnWidth = 80;

qsizetype characterCount(const QString &text)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++n) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    return n;
}

// A spreadsheet takes a cell that begins with one of these for a formula: text from a web page
// must not run as one when the file is opened.
QString inertCsvText(const QString &text)
{
    if (!text.isEmpty() && QStringView(u"=+-@").contains(text.front()))
        return u'\'' + text;
    return text;
}

void appendCsvField(QString &out, const QString &field)
{
    const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') ||
                       field.contains(u'\r');
    if (!quote) {
        out += field;
        return;
    }
    out += u'"';
    out += QString(field).replace(u"\""_s, u"\"\""_s);
    out += u'"';
}

// The width a column needs in the sheet's character units: a Chinese character takes two.
double displayWidth(const QString &text)
{
    double w = 0;
    for (const QChar c : text) {
        if (c.isLowSurrogate())
            continue;
        w += c.unicode() >= 0x1100 ? 2 : 1;
    }
    return w;
}

QString cErrorText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The workbook written by name into the file the caller made. Returns why it failed, or nothing.
QString writeWorkbook(const QString &file, const QList<HarvestPart> &parts)
{
    const QStringList header = exportHeader();
    QList<double> widths;
    for (const QString &title : header)
        widths.append(displayWidth(title));
    qsizetype total = 0;
    for (const HarvestPart &part : parts) {
        for (qsizetype i = 0; i < part.keywords.size(); ++i) {
            const ExportRow row = exportRow(part, i);
            widths[0] = std::max(widths[0], displayWidth(row.keyword));
            widths[1] = std::max(widths[1], displayWidth(row.seed));
            widths[2] = std::max(widths[2], displayWidth(row.parent));
        }
        total += part.keywords.size();
    }

    // The library opens its files with the narrow C functions, which on Windows take the
    // system's code page rather than UTF-8: it gets names relative to the target's folder,
    // ours and plain ASCII, and the folder itself through Qt.
    const QFileInfo info(file);
    const QString before = QDir::currentPath();
    if (!QDir::setCurrent(info.absolutePath()))
        return u"无法进入文件夹"_s;
    const QByteArray name = QFile::encodeName(info.fileName());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE; // rows go out in order: little memory at any size
    char here[] = ".";
    options.tmpdir = here;
    errno = 0;
    lxw_workbook *book = workbook_new_opt(name.constData(), &options);
    QString failed;
    if (!book) {
        failed = cErrorText();
    } else {
        lxw_format *bold = workbook_add_format(book);
        format_set_bold(bold);
        qsizetype written = 0;
        int sheetNumber = 0;
        qsizetype p = 0, i = 0; // the next row's part and keyword
        do {
            ++sheetNumber;
            const QByteArray sheetName =
                (sheetNumber == 1 ? u"关键词"_s : u"关键词"_s + QString::number(sheetNumber))
                    .toUtf8();
            lxw_worksheet *sheet = workbook_add_worksheet(book, sheetName.constData());
            if (!sheet) {
                failed = u"无法添加工作表"_s;
                break;
            }
            for (int c = 0; c < header.size(); ++c)
                worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c),
                                     std::min(widths.at(c) + 2, kMaxColumnWidth), nullptr);
            worksheet_freeze_panes(sheet, 1, 0);
            for (int c = 0; c < header.size(); ++c)
                worksheet_write_string(sheet, 0, lxw_col_t(c), header.at(c).toUtf8().constData(),
                                       bold);
            for (lxw_row_t r = 1; r < kSheetRows && written < total; ++r, ++written, ++i) {
                while (i >= parts.at(p).keywords.size()) {
                    ++p;
                    i = 0;
                }
                const ExportRow row = exportRow(parts.at(p), i);
                lxw_error e =
                    worksheet_write_string(sheet, r, 0, row.keyword.toUtf8().constData(), nullptr);
                if (!e)
                    e = worksheet_write_string(sheet, r, 1, row.seed.toUtf8().constData(), nullptr);
                if (!e && !row.parent.isEmpty())
                    e = worksheet_write_string(sheet, r, 2, row.parent.toUtf8().constData(),
                                               nullptr);
                if (!e && row.depth > 0)
                    e = worksheet_write_number(sheet, r, 3, row.depth, nullptr);
                if (!e)
                    e = worksheet_write_number(sheet, r, 4, double(row.characters), nullptr);
                if (e) {
                    failed = QString::fromUtf8(lxw_strerror(e));
                    break;
                }
            }
        } while (failed.isEmpty() && written < total);
        errno = 0;
        const lxw_error closed = workbook_close(book); // frees it, also after a failure
        if (failed.isEmpty() && closed != LXW_NO_ERROR)
            failed = errno != 0 ? cErrorText() : QString::fromUtf8(lxw_strerror(closed));
    }
    QDir::setCurrent(before);
    return failed;
}

} // namespace

QStringList exportHeader()
{
    return {u"关键词"_s, u"源关键字"_s, u"来源词"_s, u"层级"_s, u"字数"_s};
}

ExportRow exportRow(const HarvestPart &part, qsizetype i)
{
    ExportRow row;
    row.keyword = part.keywords.at(i);
    row.seed = part.seed;
    if (i < part.origins.size()) {
        const qint32 parent = part.origins.parents.at(i);
        row.parent = parent == Origins::kFromSeed ? part.seed : part.keywords.value(parent);
        row.depth = part.origins.depths.at(i);
    }
    row.characters = characterCount(row.keyword);
    return row;
}

QByteArray harvestCsv(const QList<HarvestPart> &parts)
{
    QString text;
    const QStringList header = exportHeader();
    for (qsizetype c = 0; c < header.size(); ++c)
        text += (c ? u","_s : QString()) + header.at(c);
    text += u"\r\n"_s;
    for (const HarvestPart &part : parts) {
        for (qsizetype i = 0; i < part.keywords.size(); ++i) {
            const ExportRow row = exportRow(part, i);
            appendCsvField(text, inertCsvText(row.keyword));
            text += u',';
            appendCsvField(text, inertCsvText(row.seed));
            text += u',';
            appendCsvField(text, inertCsvText(row.parent));
            text += u',';
            if (row.depth > 0)
                text += QString::number(row.depth);
            text += u',' + QString::number(row.characters) + u"\r\n"_s;
        }
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}

SaveResult exportHarvest(const QString &path, ExportFormat format, const QList<HarvestPart> &parts)
{
    if (format == ExportFormat::Csv)
        return replaceFileWith(path, harvestCsv(parts));
    return replaceFileWith(path, [&parts](QFile &file) {
        file.close();
        return writeWorkbook(file.fileName(), parts);
    });
}
