#pragma once

// Reads back what a workbook holds, as a spreadsheet program would: a .xlsx is a zip of XML.
// Enough of zip for the files a writer makes (stored or deflated entries, no zip64).

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QtEndian>

#include <zlib.h>

inline QHash<QString, QByteArray> unzip(const QByteArray &zip)
{
    QHash<QString, QByteArray> files;
    const auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(zip.constData() + at); };
    const auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(zip.constData() + at); };
    const qsizetype end = zip.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    if (end < 0 || end + 22 > zip.size())
        return files;
    qsizetype at = u32(end + 16);
    for (int n = u16(end + 10); n > 0 && at + 46 <= zip.size(); --n) {
        const quint16 method = u16(at + 10);
        const quint32 packed = u32(at + 20), size = u32(at + 24);
        const quint16 nameLength = u16(at + 28);
        const QString name = QString::fromUtf8(zip.mid(at + 46, nameLength));
        const qsizetype local = u32(at + 42);
        const qsizetype data = local + 30 + u16(local + 26) + u16(local + 28);
        QByteArray out(qsizetype(size), '\0');
        if (method == 0) {
            out = zip.mid(data, packed);
        } else {
            z_stream z{};
            inflateInit2(&z, -MAX_WBITS); // raw deflate
            z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zip.constData() + data));
            z.avail_in = packed;
            z.next_out = reinterpret_cast<Bytef *>(out.data());
            z.avail_out = size;
            if (inflate(&z, Z_FINISH) != Z_STREAM_END)
                out.clear();
            inflateEnd(&z);
        }
        files.insert(name, out);
        at += 46 + nameLength + u16(at + 30) + u16(at + 32);
    }
    return files;
}

// A sheet's rows, each cell as its text; a number as "n:" and its value; an empty cell "".
struct Sheet {
    QList<QStringList> rows;
    QString frozen;       // the pane's ySplit when it is frozen
    QList<double> widths; // of the columns, in order
};

inline Sheet readSheet(const QHash<QString, QByteArray> &files, int number)
{
    QStringList shared;
    QXmlStreamReader strings(files.value(QStringLiteral("xl/sharedStrings.xml")));
    while (!strings.atEnd()) {
        if (strings.readNext() == QXmlStreamReader::StartElement && strings.name() == u"si")
            shared << strings.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    Sheet sheet;
    QXmlStreamReader xml(files.value(QStringLiteral("xl/worksheets/sheet") +
                                     QString::number(number) + QStringLiteral(".xml")));
    QString type;
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"pane" && a.value(QLatin1StringView("state")) == u"frozen") {
            sheet.frozen = a.value(QLatin1StringView("ySplit")).toString();
        } else if (xml.name() == u"col") {
            sheet.widths << a.value(QLatin1StringView("width")).toDouble();
        } else if (xml.name() == u"row") {
            sheet.rows.append(QStringList());
        } else if (xml.name() == u"c") {
            type = a.value(QLatin1StringView("t")).toString();
            // Cells left out are empty: A, B, C... by the cell's reference.
            column = a.value(QLatin1StringView("r")).at(0).unicode() - u'A';
            while (sheet.rows.last().size() < column)
                sheet.rows.last() << QString();
        } else if (xml.name() == u"v" || (xml.name() == u"t" && type == u"inlineStr")) {
            const QString text = xml.readElementText();
            sheet.rows.last() << (type == u"s"                     ? shared.value(text.toInt())
                                  : type == u"inlineStr"           ? text
                                  : type.isEmpty() || type == u"n" ? QStringLiteral("n:") + text
                                                                   : text);
        }
    }
    return sheet;
}
