// Saving arbitrary seeds and entries: the file stays inside Keywords, and reading it back gives
// the header and the entries, block after block.

#include "fuzzinput.h"
#include "storage/resultfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<QTemporaryDir> g_dir;

// GB18030 reads the euro sign and a few dozen private-use GBK codes as other characters, and a
// lone surrogate has no form in any code page: keep those out of the round trip.
bool readsBackExactly(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'€' || (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF))
            return false;
        if (c.isHighSurrogate() && (i + 1 == text.size() || !text.at(i + 1).isLowSurrogate()))
            return false;
        if (c.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate()))
            return false;
    }
    return true;
}

QString saveTime(const QDateTime &when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    QString text = u"%1/%2/%3"_s.arg(d.year()).arg(d.month()).arg(d.day());
    if (t != QTime(0, 0))
        text += u" %1:%2:%3"_s.arg(t.hour())
                    .arg(t.minute(), 2, 10, QChar(u'0'))
                    .arg(t.second(), 2, 10, QChar(u'0'));
    return text;
}

QString expectedBlock(const QString &seed, const QStringList &entries, const QDateTime &when)
{
    QString text = u"以下是与 {"_s + seed + u"} 相关长尾词    保存时间："_s + saveTime(when) +
                   u"     本次共"_s + QString::number(entries.size()) + u"条\r\n\r\n"_s;
    for (const QString &e : entries)
        text += e + u"\r\n"_s;
    return text;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = std::make_unique<QTemporaryDir>();
    return g_dir->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t flags = in.byte();
    const QDateTime when(QDate(2000 + in.byte() % 100, 1 + in.byte() % 12, 1 + in.byte() % 28),
                         (flags & 4) ? QTime(0, 0)
                                     : QTime(in.byte() % 24, in.byte() % 60, in.byte() % 60));
    const QString seed = in.word(12);
    QStringList first, second;
    for (int n = in.byte() % 6; n > 0; --n)
        first.append(in.word(6));
    for (int n = in.byte() % 6; n > 0; --n)
        second.append(in.word(6));

    const QString programDir = g_dir->path();
    QDir(programDir).removeRecursively();
    QDir().mkpath(programDir);

    // The file name maps every character no file name may hold, so it never leaves Keywords.
    const QString name = resultFileName(seed);
    FUZZ_CHECK(name.startsWith(u"关键词-"_s) && name.endsWith(u".txt"_s), name);
    for (const QChar c : name)
        FUZZ_CHECK(c != u'/' && c != u'\\' && c.unicode() >= 0x20, name);

    // Too long a name for the file system fails to open; every other save succeeds.
    const bool nameFits = QFile::encodeName(name).size() <= 255 - 7; // room for a temporary suffix
    const SaveResult a = saveResults(programDir, seed, first, flags & 1, when);
    const QString keywords = QDir(programDir).filePath(u"Keywords"_s);
    FUZZ_CHECK(QFileInfo(keywords).isDir(), keywords);
    if (first.isEmpty()) {
        FUZZ_CHECK(a.status == SaveResult::Status::NothingToSave, a.path);
        FUZZ_CHECK(QDir(keywords).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                          QDir::System),
                   a.path);
    } else if (nameFits) {
        FUZZ_CHECK(a.status == SaveResult::Status::Saved, a.path + u' ' + a.detail);
    }
    const SaveResult b = saveResults(programDir, seed, second, true, when);
    if (!second.isEmpty() && nameFits)
        FUZZ_CHECK(b.status == SaveResult::Status::Saved, b.path + u' ' + b.detail);

    // Nothing but the result file is left in Keywords: no temporary file of a failed save.
    const QStringList left = QDir(keywords).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                      QDir::Hidden | QDir::System);
    // Half a surrogate pair has no form in a file name; the system stores a stand-in.
    const QString storedName = QFile::decodeName(QFile::encodeName(name));
    FUZZ_CHECK(left.isEmpty() || left == QStringList{storedName}, left.join(u'|'));

    const QString path = QDir(keywords).filePath(name);
    if (!QFileInfo::exists(path))
        return 0;
    const QString canonicalKeywords = QFileInfo(keywords).canonicalFilePath();
    FUZZ_CHECK(QFileInfo(QFileInfo(path).canonicalFilePath()).path() == canonicalKeywords, path);
    FUZZ_CHECK(QDir::toNativeSeparators(path) == b.path, b.path);

    // Block after block: the first save's (if it wrote one), then the appended one.
    const bool aSaved = a.status == SaveResult::Status::Saved;
    const bool bSaved = b.status == SaveResult::Status::Saved;
    const QString expected = (aSaved ? expectedBlock(seed, first, when) : QString()) +
                             (bSaved ? expectedBlock(seed, second, when) : QString());
    const QByteArray bytes = readAll(path);
    QByteArray blocks;
    if (aSaved)
        blocks += buildBlock(seed, first, when);
    if (bSaved)
        blocks += buildBlock(seed, second, when);
    FUZZ_CHECK(bytes == blocks, path);
    QStringDecoder gb18030("GB18030");
    const QString text = gb18030.decode(bytes);
    if (readsBackExactly(expected))
        FUZZ_CHECK(text == expected, text);

    // The header counts what follows it; an entry holding a line break spreads over several
    // lines, so the count matches the lines only when no entry holds one.
    const QStringList lines = text.split(u"\r\n"_s);
    bool plain = readsBackExactly(expected) && !seed.contains(u'\r') && !seed.contains(u'\n');
    for (const QString &e : first + second)
        plain = plain && !e.contains(u'\r') && !e.contains(u'\n');
    if (plain && aSaved) {
        FUZZ_CHECK(lines.value(0).endsWith(u"本次共"_s + QString::number(first.size()) + u"条"_s),
                   text);
        FUZZ_CHECK(lines.value(1).isEmpty(), text);
        FUZZ_CHECK(lines.mid(2, first.size()) == first, text);
        FUZZ_CHECK(lines.size() == 2 + first.size() + (bSaved ? 2 + second.size() : 0) + 1, text);
    }
    return 0;
}
