#include "storage/journalline.h"

#include "storage/resultfile.h"

#include <QFile>
#include <QSet>

using namespace Qt::StringLiterals;

namespace {

const QString kMagic = u"tailspade-journal"_s;
// 1: no setting in the header, no count asked, no end; 2: no origins
constexpr int kVersion = 3;

quint32 checksum(QByteArrayView bytes)
{
    quint32 h = 2166136261u; // FNV-1a
    for (const char c : bytes) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return h;
}

QString escaped(const QString &field)
{
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescaped(QStringView field)
{
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c != u'\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const QChar next = field.at(++i);
        out += next == u't'   ? QChar(u'\t')
               : next == u'n' ? QChar(u'\n')
               : next == u'r' ? QChar(u'\r')
                              : next;
    }
    return out;
}

QString endingName(RunEnding ending)
{
    switch (ending) {
    case RunEnding::Stop:
        return u"stop"_s;
    case RunEnding::GiveUp:
        return u"giveup"_s;
    case RunEnding::Target:
        return u"target"_s;
    case RunEnding::Crash:
        break;
    }
    return u"crash"_s;
}

std::optional<RunEnding> endingNamed(const QString &name)
{
    for (const RunEnding e :
         {RunEnding::Crash, RunEnding::Stop, RunEnding::GiveUp, RunEnding::Target})
        if (endingName(e) == name)
            return e;
    return std::nullopt;
}

// A whole decimal number as this program writes it: no sign but a minus, no blanks, no zeros
// in front.
std::optional<qint64> strictNumber(const QString &text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok && QString::number(n) == text ? std::optional<qint64>(n) : std::nullopt;
}

// Keywords read back go into result files and lists as harvested ones do: one line each.
bool appendKeywords(JournalContents &j, const QStringList &fields, qint32 parent)
{
    bool all = true;
    for (const QString &keyword : fields) {
        if (isKeywordText(keyword)) {
            j.keywords.append(keyword);
            j.origins.append(parent);
        } else {
            all = false;
        }
    }
    return all;
}

} // namespace

QByteArray encodeJournalLine(const QStringList &fields)
{
    QStringList parts;
    parts.reserve(fields.size());
    for (const QString &field : fields)
        parts.append(escaped(field));
    const QByteArray bytes = parts.join(u'\t').toUtf8();
    return QByteArray::number(checksum(bytes), 16).rightJustified(8, '0') + ' ' + bytes + '\n';
}

std::optional<QStringList> decodeJournalLine(QByteArrayView line)
{
    if (line.size() < 9 || line.at(8) != ' ')
        return std::nullopt;
    bool ok = false;
    const quint32 sum = line.first(8).toByteArray().toUInt(&ok, 16);
    const QByteArrayView payload = line.sliced(9);
    if (!ok || sum != checksum(payload))
        return std::nullopt;
    QStringList fields;
    const QString text = QString::fromUtf8(payload);
    for (const QStringView field : QStringView(text).split(u'\t'))
        fields.append(unescaped(field));
    return fields;
}

bool isClosingLine(const std::optional<QStringList> &fields)
{
    if (!fields || fields->isEmpty())
        return false;
    const QString &kind = fields->first();
    return (kind == u"save"_s && fields->size() == 5) ||
           (kind == u"end"_s && fields->size() == 3 && endingNamed(fields->at(1)) &&
            QDateTime::fromString(fields->at(2), Qt::ISODateWithMs).isValid());
}

QStringList journalHeader(const QString &programDir, const QString &resultFile, const QString &seed,
                          bool wholeSeed)
{
    return {kMagic, QString::number(kVersion),  programDir, resultFile,
            seed,   wholeSeed ? u"1"_s : u"0"_s};
}

QStringList endLine(RunEnding ending, const QDateTime &when)
{
    return {u"end"_s, endingName(ending), when.toString(Qt::ISODateWithMs)};
}

QStringList saveLine(const QString &seed, bool append, qint64 offset, const QDateTime &when)
{
    return {u"save"_s, seed, append ? u"append"_s : u"overwrite"_s, QString::number(offset),
            when.toString(Qt::ISODateWithMs)};
}

QStringList paceLine(const QStringList &pace)
{
    return QStringList{u"pace"_s} + pace;
}

JournalContents parseJournal(const QByteArray &bytes)
{
    JournalContents j;
    qsizetype start = 0;
    bool first = true;
    // A last line without its line end was cut short: it is left out.
    for (qsizetype end; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
        j.wholeSize = end + 1;
        j.endsWhole = false;
        const std::optional<QStringList> fields =
            decodeJournalLine(QByteArrayView(bytes).sliced(start, end - start));
        if (first) {
            first = false;
            const std::optional<qint64> version =
                fields && fields->size() >= 2 && fields->at(0) == kMagic
                    ? strictNumber(fields->at(1))
                    : std::nullopt;
            if (version && *version > kVersion) {
                j.newer = true;
                return j;
            }
            if (!version || *version < 1 || fields->size() != (*version == 1 ? 5 : 6))
                return j;
            j.ok = true;
            j.version = int(*version);
            j.programDir = fields->at(2);
            j.resultFile = fields->at(3);
            j.seed = fields->at(4);
            j.wholeSeed = j.version >= 2 && fields->at(5) == u"1"_s;
            continue;
        }
        if (!fields || fields->isEmpty()) {
            j.damaged = true;
            continue;
        }
        const QString &kind = fields->at(0);
        j.endsWhole = isClosingLine(fields);
        if (kind == u"k"_s && j.version == 1) {
            j.damaged |= !appendKeywords(j, fields->mid(1), Origins::kUnknown);
        } else if (kind == u"k"_s && fields->size() >= (j.version >= 3 ? 3 : 2)) {
            qint32 parent = Origins::kUnknown;
            if (j.version >= 3 && !fields->at(2).isEmpty()) {
                // Always a keyword before these, or the seed.
                const std::optional<qint64> from = strictNumber(fields->at(2));
                if (from && *from >= Origins::kFromSeed && *from < j.keywords.size())
                    parent = qint32(*from);
                else
                    j.damaged = true;
            }
            j.damaged |= !appendKeywords(j, fields->mid(j.version >= 3 ? 3 : 2), parent);
            // The count only grows, and never past the keywords there are to ask.
            const std::optional<qint64> asked = strictNumber(fields->at(1));
            if (asked && *asked >= j.asked && *asked <= j.keywords.size())
                j.asked = *asked;
            else
                j.damaged = true;
        } else if (kind == u"save"_s && fields->size() == 5) {
            j.saving = true;
            j.saveSeed = fields->at(1);
            j.saveAppend = fields->at(2) == u"append"_s;
            j.saveOffset = fields->at(3).toLongLong();
            j.saveTime = QDateTime::fromString(fields->at(4), Qt::ISODateWithMs);
        } else if (kind == u"end"_s && fields->size() == 3 && endingNamed(fields->at(1)) &&
                   QDateTime::fromString(fields->at(2), Qt::ISODateWithMs).isValid()) {
            j.ending = endingNamed(fields->at(1));
            j.endTime = QDateTime::fromString(fields->at(2), Qt::ISODateWithMs);
        } else if (kind == u"pace"_s) {
            j.pace = fields->mid(1);
        } else {
            j.damaged = true;
        }
    }
    j.endsWhole = j.endsWhole && j.wholeSize == bytes.size();
    return j;
}

JournalContents readJournal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseJournal(file.readAll());
}

bool JournalContents::canContinue() const
{
    if (!ok || version < 2 || damaged || unasked() <= 0)
        return false;
    // A harvest holds each keyword once.
    const QSet<QString> distinct(keywords.cbegin(), keywords.cend());
    return distinct.size() == keywords.size();
}
