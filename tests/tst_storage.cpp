#include "storage/durable.h"
#include "storage/journal.h"
#include "storage/resultfile.h"
#include "text/codepage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Known GBK byte sequences of the fixed header pieces, taken from the code page table.
const QByteArray kIntro = QByteArray::fromHex("d2d4cfc2cac7d3eb207b"); // 以下是与 {
const QByteArray kAfterSeed = QByteArray::fromHex("7d20cfe0b9d8b3a4ceb2b4ca20202020" // } 相关长尾词
                                                  "b1a3b4e6cab1bce4a3ba");    // 保存时间：
const QByteArray kCountIntro = QByteArray::fromHex("2020202020b1beb4ceb9b2"); //      本次共
const QByteArray kTiao = QByteArray::fromHex("ccf5");                         // 条
const QByteArray kXian = QByteArray::fromHex("cfca");                         // 鲜
const QByteArray kHua = QByteArray::fromHex("bba8");                          // 花
const QByteArray kDian = QByteArray::fromHex("b5ea");                         // 店
const QByteArray kCrLf = QByteArrayLiteral("\r\n");

const QDateTime kMorning(QDate(2026, 1, 5), QTime(9, 3, 7));

// The block for entries 鲜花店 and 花 under the seed 鲜花, saved at kMorning.
QByteArray expectedFlowerBlock()
{
    return kIntro + kXian + kHua + kAfterSeed + QByteArrayLiteral("2026/1/5 9:03:07") +
           kCountIntro + QByteArrayLiteral("2") + kTiao + kCrLf + kCrLf + kXian + kHua + kDian +
           kCrLf + kHua + kCrLf;
}
const QString kSeed = u"鲜花"_s;
const QStringList kEntries = {u"鲜花店"_s, u"花"_s};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

QString keywordsDir(const QTemporaryDir &dir)
{
    return dir.filePath(u"Keywords"_s);
}

QString flowerFile(const QTemporaryDir &dir)
{
    return keywordsDir(dir) + u"/关键词-鲜花.txt"_s;
}

// The files this process holds open. (Under Wine, /proc/self would be Wine's own process, its
// count moved by every other Windows program running.)
int openDescriptorCount()
{
#ifdef Q_OS_WIN
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return int(handles);
#else
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
#endif
}

} // namespace

class TestStorage : public QObject {
    Q_OBJECT

private slots:
    void formatSaveTime_rendersChineseGeneralForm_data();
    void formatSaveTime_rendersChineseGeneralForm();
    void formatSaveTime_ignoresDefaultLocale();
    void resultFileName_mapsForbiddenCharacters_data();
    void resultFileName_mapsForbiddenCharacters();
    void resultFolderPath_isKeywordsInsideProgramDir();
    void save_deepFolderKeepsPathWithinLimit();
    void save_longSeedGetsANameThatFits_data();
    void save_longSeedGetsANameThatFits();
    void encodeForFile_prefersGbkAndFallsBackToGb18030_data();
    void encodeForFile_prefersGbkAndFallsBackToGb18030();
    void encodeForFile_loneSurrogateDoesNotSpoilWhatFollows();
    void encodeForFile_charactersOutsideGbkSurviveRoundTrip();
    void encodeForFile_everyCharacterAsWindowsCodePagesGiveIt();
    void buildBlock_exactBytes();
    void buildBlock_emptySeedAndLineStructure();

    void save_overwriteWritesOneBlock();
    void save_appendToMissingFileEqualsOverwrite();
    void save_appendStartsAfterLastByte();
    void save_twoAppendsGiveTwoBlocks();
    void save_overwriteReplacesLongerFileCompletely();
    void save_noEntriesCreatesFolderAndTouchesNoFile_data();
    void save_noEntriesCreatesFolderAndTouchesNoFile();
    void save_emptySeedUsesLiteralName();
    void save_hostileSeedStaysInsideKeywords_data();
    void save_hostileSeedStaysInsideKeywords();
    void save_holdsNoFileAfterReturning();

    void save_fileNamedKeywordsInTheWay_reportsFolderFailed();
    void save_readOnlyFolder_reportsFailureAndKeepsOldFile();
    void save_resultPathIsADirectory_reportsOpenFailed_data();
    void save_resultPathIsADirectory_reportsOpenFailed();
    void save_fileSizeLimit_reportsWriteFailed_data();
    void save_fileSizeLimit_reportsWriteFailed();

    void journal_recoverySavesEachKeywordOnce_data();
    void journal_recoverySavesEachKeywordOnce();
    void journal_recoveryOfAGoneFolderSavesInThisStartsFolder();
    void keptRun_isTheNewestRunsAsItEnded_data();
    void keptRun_isTheNewestRunsAsItEnded();
    void save_staleTemporaryFilesGoOthersStay();
};

void TestStorage::formatSaveTime_rendersChineseGeneralForm_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");
    QTest::newRow("single-digit month, day, hour") << kMorning << u"2026/1/5 9:03:07"_s;
    QTest::newRow("two-digit fields")
        << QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59)) << u"2025/12/31 23:59:59"_s;
    QTest::newRow("midnight gives the date alone")
        << QDateTime(QDate(2026, 1, 5), QTime(0, 0, 0)) << u"2026/1/5"_s;
    QTest::newRow("one second after midnight")
        << QDateTime(QDate(2026, 1, 5), QTime(0, 0, 1)) << u"2026/1/5 0:00:01"_s;
    QTest::newRow("one minute after midnight")
        << QDateTime(QDate(2026, 1, 5), QTime(0, 1, 0)) << u"2026/1/5 0:01:00"_s;
    QTest::newRow("noon") << QDateTime(QDate(2024, 2, 29), QTime(12, 0, 0))
                          << u"2024/2/29 12:00:00"_s;
}

void TestStorage::formatSaveTime_rendersChineseGeneralForm()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(formatSaveTime(when), expected);
}

void TestStorage::formatSaveTime_ignoresDefaultLocale()
{
    // A locale with its own digits and date order must not leak into the file.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    const QString text = formatSaveTime(kMorning);
    QLocale::setDefault(saved);
    QCOMPARE(text, u"2026/1/5 9:03:07"_s);
}

void TestStorage::resultFileName_mapsForbiddenCharacters_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain seed") << u"鲜花"_s << u"关键词-鲜花.txt"_s;
    QTest::newRow("empty seed") << QString() << u"关键词-.txt"_s;
    QTest::newRow("blanks and dots kept") << u" a.b "_s << u"关键词- a.b .txt"_s;
    QTest::newRow("dot dot") << u".."_s << u"关键词-...txt"_s;
    QTest::newRow("parent path") << u"../x"_s << u"关键词-.._x.txt"_s;
    QTest::newRow("backslash path") << u"..\\x"_s << u"关键词-.._x.txt"_s;
    QTest::newRow("every forbidden sign")
        << u"a\\b/c:d*e?f\"g<h>i|j"_s << u"关键词-a_b_c_d_e_f_g_h_i_j.txt"_s;
    QTest::newRow("control characters")
        << (u"t\tn\nz"_s + QChar(0) + u'd' + QChar(0x7F) + u"u\x1f"_s)
        << u"关键词-t_n_z_d_u_.txt"_s;
    QTest::newRow("emoji kept") << u"花😀"_s << u"关键词-花😀.txt"_s;
    // Behind the prefix and before ".txt", Windows' device names and its trailing dots and
    // blanks are harmless: the names stay as they are.
    QTest::newRow("device name") << u"CON"_s << u"关键词-CON.txt"_s;
    QTest::newRow("device name with extension") << u"lpt1.txt"_s << u"关键词-lpt1.txt.txt"_s;
    QTest::newRow("trailing dot and blank") << u"鲜花. "_s << u"关键词-鲜花. .txt"_s;
}

void TestStorage::resultFileName_mapsForbiddenCharacters()
{
    QFETCH(QString, seed);
    QFETCH(QString, expected);
    QCOMPARE(resultFileName(seed), expected);
    if (seed.isEmpty() || seed.contains(u'/') || seed.contains(u'\\'))
        return;
    // The system takes the name as it is: the file saved is listed under it.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SaveResult r = saveResults(dir.path(), seed, {u"花"_s}, false, kMorning);
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(QDir(keywordsDir(dir)).entryList(QDir::Files), QStringList{expected});
}

// A folder so deep that the name would take the path past what the system opens: the name is
// shortened, the header keeps the whole seed.
void TestStorage::save_deepFolderKeepsPathWithinLimit()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString deep = dir.path();
    const QString part = QString(20, u'd');
    while (fileNameLength(deep) + 21 < kMaxPathLength - 40)
        deep += u'/' + part;
    QVERIFY(QDir().mkpath(deep));
    const QString seed = QString(u"鲜花店"_s).repeated(20);

    const QString path = resultFilePath(deep, seed);
    QVERIFY(path != QDir(deep).filePath(u"Keywords/"_s + resultFileName(seed)));
    QVERIFY(fileNameLength(QDir::toNativeSeparators(path)) <= kMaxPathLength);
    QVERIFY(resultFilePath(deep, seed.chopped(1) + u'b') != path);
    const SaveResult r = saveResults(deep, seed, {u"花"_s}, false, kMorning);
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(QDir::fromNativeSeparators(r.path), path);
    QCOMPARE(readAll(path), buildBlock(seed, {u"花"_s}, kMorning));
}

void TestStorage::resultFolderPath_isKeywordsInsideProgramDir()
{
    QCOMPARE(resultFolderPath(u"/opt/tailspade"_s),
             QDir::toNativeSeparators(u"/opt/tailspade/Keywords"_s));
    QCOMPARE(resultFolderPath(u"/"_s), QDir::toNativeSeparators(u"/Keywords"_s));
}

void TestStorage::save_longSeedGetsANameThatFits_data()
{
    QTest::addColumn<QString>("seed");
    QTest::addColumn<bool>("shortened");
    // "关键词-" and ".txt" take 14 of the 255 bytes a name may have.
    QTest::newRow("fits to the byte") << QString(241, u'a') << false;
    QTest::newRow("a byte too long") << QString(242, u'a') << true;
    QTest::newRow("80 Chinese characters") << QString(u"鲜花店花店"_s).repeated(16) << false;
    QTest::newRow("120 Chinese characters") << QString(u"鲜花店"_s).repeated(40) << true;
    QTest::newRow("cut inside a character of two code units") << u"花😀"_s.repeated(60) << true;
    QTest::newRow("300 Chinese characters") << QString(u"鲜花店"_s).repeated(100) << true;
}

void TestStorage::save_longSeedGetsANameThatFits()
{
    QFETCH(QString, seed);
    QFETCH(bool, shortened);
#ifdef Q_OS_WIN
    // Windows counts UTF-16 units, not bytes: only the longest rows need shortening there.
    shortened = fileNameLength(QString(u"关键词-"_s + seed + u".txt"_s)) > kMaxFileNameLength;
#endif
    const QString name = resultFileName(seed);
    QVERIFY(fileNameLength(name) <= kMaxFileNameLength);
    QVERIFY(name.isValidUtf16());
    QCOMPARE(name == u"关键词-"_s + seed + u".txt"_s, !shortened);
    if (shortened) {
        QVERIFY(name.startsWith(u"关键词-"_s + seed.left(40)) && name.endsWith(u".txt"_s));
        // Another seed alike for longer than the name can hold gets a file of its own.
        QVERIFY(resultFileName(seed.chopped(1) + u'b') != name);
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
#ifdef Q_OS_WIN
    if (QFile probe(dir.filePath(name)); !probe.open(QIODevice::WriteOnly))
        QSKIP("this disk holds 255 bytes in a name, not 255 UTF-16 units (Wine on a Linux disk)");
    QVERIFY(QFile::remove(dir.filePath(name)));
#endif
    const SaveResult saved = saveResults(dir.path(), seed, kEntries, true, kMorning);
    QVERIFY2(saved.ok(), qPrintable(saved.detail));
    QCOMPARE(saved.status, SaveResult::Status::Saved);
    QCOMPARE(saved.path, QDir::toNativeSeparators(resultFilePath(dir.path(), seed)));
    // The header keeps the whole seed.
    QCOMPARE(readAll(resultFilePath(dir.path(), seed)), buildBlock(seed, kEntries, kMorning));
    // Replaced too, though no longer name would fit beside it; nothing else is left.
    const SaveResult replaced = saveResults(dir.path(), seed, {u"花"_s}, false, kMorning);
    QVERIFY2(replaced.ok(), qPrintable(replaced.detail));
    QCOMPARE(readAll(resultFilePath(dir.path(), seed)), buildBlock(seed, {u"花"_s}, kMorning));
    QCOMPARE(QDir(keywordsDir(dir)).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestStorage::encodeForFile_prefersGbkAndFallsBackToGb18030_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii") << u"abc 1\r\n"_s << QByteArrayLiteral("abc 1\r\n");
    QTest::newRow("common characters") << u"鲜花店"_s << QByteArray(kXian + kHua + kDian);
    QTest::newRow("euro keeps its GBK byte") << u"€"_s << QByteArray::fromHex("80");
    QTest::newRow("emoji in four bytes") << u"a😀b"_s << QByteArray::fromHex("619439fc3662");
    QTest::newRow("extension B in four bytes")
        << u"\U00020000"_s << QByteArray::fromHex("95328236");
    // ICU drops a U+FEFF that begins a conversion; Windows keeps it.
    QTest::newRow("zero-width no-break space kept")
        << u"花\r\n\uFEFF花"_s << QByteArray::fromHex("bba80d0a84319533bba8");
    // Windows' GB18030 is the 2000 edition: A8 BC is GBK's U+E7C7, not ḿ.
    QTest::newRow("m with acute as Windows writes it") << u"ḿ"_s << QByteArray::fromHex("8135f437");
    // Once the slow path is taken, GBK must still win for the characters it holds.
    QTest::newRow("euro next to emoji") << u"€😀花"_s << QByteArray::fromHex("809439fc36bba8");
    QTest::newRow("other lines unaffected")
        << u"€\r\n😀\r\n花"_s << QByteArray::fromHex("800d0a9439fc360d0abba8");
}

void TestStorage::encodeForFile_prefersGbkAndFallsBackToGb18030()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(encodeForFile(text).toHex(' '), expected.toHex(' '));
}

void TestStorage::encodeForFile_loneSurrogateDoesNotSpoilWhatFollows()
{
    // Half a character becomes '?', and the characters after it keep their own bytes.
    const QString text = QString(QChar(0xD800)) + u"😀€"_s + QChar(0xDC00) + u"花"_s;
    QCOMPARE(encodeForFile(text).toHex(' '), QByteArray::fromHex("3f9439fc36803fbba8").toHex(' '));
}

void TestStorage::encodeForFile_charactersOutsideGbkSurviveRoundTrip()
{
    const QString text = u"鲜花😀\U00020000\U0002A6D6🌸店"_s;
    const QByteArray bytes = encodeForFile(text);
    QVERIFY(!bytes.contains('?'));
    QCOMPARE(fromGbkWithFourByteForms(bytes), text);
}

// SHA-256 of the table below as Windows' code pages give it (936, and 54936 where the system has
// it), taken under Wine 8; Qt's GBK and GB18030 converters give the same.
const QByteArray kWindowsTable =
    QByteArray::fromHex("557a3f268557f2a554576ca600eacd3f589ae42d2dc62ac48acabb68cb130313");

void TestStorage::encodeForFile_everyCharacterAsWindowsCodePagesGiveIt()
{
    // Each code of GBK's two-byte area that reads as a character is written back as itself.
    QCryptographicHash table(QCryptographicHash::Sha256);
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char code[2] = {char(lead), char(trail)};
            const QString c = fromGbk(QByteArrayView(code, 2));
            table.addData(QByteArray(c.toUtf8() + '\n'));
            if (c.size() != 1 || c == u"?"_s || c == u"\uFFFD"_s)
                continue;
            QCOMPARE(encodeForFile(c).toHex(), QByteArray(code, 2).toHex());
        }
    }
    // Every character's bytes, with a sample beyond the first plane; four-byte forms read back.
    QList<char32_t> sample;
    for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF)
            sample << c;
    }
    sample << 0x10000 << 0x1F338 << 0x1F600 << 0x20000 << 0x2A6D6 << 0x10FFFF;
    for (const char32_t c : std::as_const(sample)) {
        // fromUcs4 would drop a U+FEFF as a byte order mark.
        const QString text = c > 0xFFFF ? QString::fromUcs4(&c, 1) : QString(QChar(char16_t(c)));
        const QByteArray bytes = encodeForFile(text);
        table.addData(QByteArray(bytes.toHex() + '\n'));
        if (bytes.size() == 4)
            QCOMPARE(fromGbkWithFourByteForms(bytes), text);
    }
    QCOMPARE(table.result().toHex(), kWindowsTable.toHex());
}

void TestStorage::buildBlock_exactBytes()
{
    QCOMPARE(buildBlock(kSeed, kEntries, kMorning), expectedFlowerBlock());
}

void TestStorage::buildBlock_emptySeedAndLineStructure()
{
    const QStringList entries = {u"a"_s, u"b"_s, u"c"_s};
    const QByteArray block =
        buildBlock(QString(), entries, QDateTime(QDate(2026, 3, 4), QTime(0, 0, 0)));
    const QByteArray header = kIntro + kAfterSeed + QByteArrayLiteral("2026/3/4") + kCountIntro +
                              QByteArrayLiteral("3") + kTiao;
    QCOMPARE(block, header + QByteArrayLiteral("\r\n\r\na\r\nb\r\nc\r\n"));
    // Every line feed is preceded by a carriage return, and there is no byte-order mark.
    QCOMPARE(block.count('\n'), block.count(QByteArrayLiteral("\r\n")));
    QCOMPARE(block.count('\r'), block.count('\n'));
    QVERIFY(!block.startsWith(QByteArray::fromHex("efbbbf")));
    QCOMPARE(block.count(QByteArrayLiteral("\r\n\r\n")), 1);
}

void TestStorage::save_overwriteWritesOneBlock()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SaveResult r = saveResults(dir.path(), kSeed, kEntries, false, kMorning);
    QCOMPARE(r.status, SaveResult::Status::Saved);
    QVERIFY(r.ok());
    QCOMPARE(r.path, QDir::toNativeSeparators(flowerFile(dir)));
    QCOMPARE(readAll(flowerFile(dir)), expectedFlowerBlock());
}

void TestStorage::save_appendToMissingFileEqualsOverwrite()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SaveResult r = saveResults(dir.path(), kSeed, kEntries, true, kMorning);
    QCOMPARE(r.status, SaveResult::Status::Saved);
    QCOMPARE(readAll(flowerFile(dir)), expectedFlowerBlock());
}

void TestStorage::save_appendStartsAfterLastByte()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(u"Keywords"_s));
    const QByteArray old = QByteArrayLiteral("old\r\nlast line without end");
    QVERIFY(writeFile(flowerFile(dir), old));
    QCOMPARE(saveResults(dir.path(), kSeed, kEntries, true, kMorning).status,
             SaveResult::Status::Saved);
    QCOMPARE(readAll(flowerFile(dir)), old + expectedFlowerBlock());
}

void TestStorage::save_twoAppendsGiveTwoBlocks()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDateTime later(QDate(2026, 1, 5), QTime(10, 0, 0));
    QVERIFY(saveResults(dir.path(), kSeed, kEntries, true, kMorning).ok());
    QVERIFY(saveResults(dir.path(), kSeed, kEntries, true, later).ok());
    QByteArray second = expectedFlowerBlock();
    second.replace(QByteArrayLiteral("2026/1/5 9:03:07"), QByteArrayLiteral("2026/1/5 10:00:00"));
    QCOMPARE(readAll(flowerFile(dir)), expectedFlowerBlock() + second);
}

void TestStorage::save_overwriteReplacesLongerFileCompletely()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << u"鲜花批发"_s + QString::number(i);
    QVERIFY(saveResults(dir.path(), kSeed, many, false, kMorning).ok());
    QVERIFY(QFileInfo(flowerFile(dir)).size() > expectedFlowerBlock().size());
    QVERIFY(saveResults(dir.path(), kSeed, kEntries, false, kMorning).ok());
    QCOMPARE(readAll(flowerFile(dir)), expectedFlowerBlock());
}

void TestStorage::save_noEntriesCreatesFolderAndTouchesNoFile_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("overwrite, no file") << false << false;
    QTest::newRow("append, no file") << true << false;
    QTest::newRow("overwrite, existing file") << false << true;
    QTest::newRow("append, existing file") << true << true;
}

void TestStorage::save_noEntriesCreatesFolderAndTouchesNoFile()
{
    QFETCH(bool, append);
    QFETCH(bool, fileExists);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray old = QByteArrayLiteral("keep me");
    if (fileExists) {
        QVERIFY(QDir(dir.path()).mkdir(u"Keywords"_s));
        QVERIFY(writeFile(flowerFile(dir), old));
    }
    const SaveResult r = saveResults(dir.path(), kSeed, QStringList(), append, kMorning);
    QCOMPARE(r.status, SaveResult::Status::NothingToSave);
    QVERIFY(r.ok());
    QVERIFY(QFileInfo(keywordsDir(dir)).isDir());
    if (fileExists) {
        QCOMPARE(readAll(flowerFile(dir)), old);
    } else {
        QVERIFY(!QFileInfo::exists(flowerFile(dir)));
        QVERIFY(QDir(keywordsDir(dir)).isEmpty());
    }
}

void TestStorage::save_emptySeedUsesLiteralName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SaveResult r = saveResults(dir.path(), QString(), {u"花"_s}, false, kMorning);
    QCOMPARE(r.status, SaveResult::Status::Saved);
    const QByteArray bytes = readAll(keywordsDir(dir) + u"/关键词-.txt"_s);
    QVERIFY(bytes.startsWith(QByteArray(kIntro + kAfterSeed)));
    QCOMPARE(QDir(keywordsDir(dir)).entryList(QDir::Files), QStringList{u"关键词-.txt"_s});
}

void TestStorage::save_hostileSeedStaysInsideKeywords_data()
{
    QTest::addColumn<QString>("seed");
    QTest::newRow("dot dot") << u".."_s;
    QTest::newRow("parent folder") << u"../escape"_s;
    QTest::newRow("backslash parent") << u"..\\escape"_s;
    QTest::newRow("absolute") << u"/tmp/escape"_s;
    QTest::newRow("drive colon") << u"c:escape"_s;
    QTest::newRow("nested") << u"a/../../b"_s;
}

void TestStorage::save_hostileSeedStaysInsideKeywords()
{
    QFETCH(QString, seed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SaveResult r = saveResults(dir.path(), seed, kEntries, false, kMorning);
    QCOMPARE(r.status, SaveResult::Status::Saved);

    const QFileInfo saved(QDir::fromNativeSeparators(r.path));
    QVERIFY(saved.isFile());
    QCOMPARE(saved.dir().canonicalPath(), QDir(keywordsDir(dir)).canonicalPath());
    // Only the one file, and nothing beside Keywords in the program directory.
    QCOMPARE(QDir(keywordsDir(dir)).entryList(QDir::Files).size(), 1);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"Keywords"_s});

    const QString text = fromGbk(readAll(saved.filePath()));
    QVERIFY(text.startsWith(u"以下是与 {"_s + seed + u"} 相关长尾词"_s));
}

void TestStorage::save_holdsNoFileAfterReturning()
{
#ifndef Q_OS_WIN
    if (!QFileInfo(u"/proc/self/fd"_s).isDir())
        QSKIP("needs /proc to count open files");
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const int before = openDescriptorCount();
    QVERIFY(saveResults(dir.path(), kSeed, kEntries, true, kMorning).ok());
    QVERIFY(saveResults(dir.path(), kSeed, kEntries, false, kMorning).ok());
    QCOMPARE(openDescriptorCount(), before);
}

void TestStorage::save_fileNamedKeywordsInTheWay_reportsFolderFailed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(keywordsDir(dir), QByteArrayLiteral("not a folder")));
    for (bool append : {false, true}) {
        const SaveResult r = saveResults(dir.path(), kSeed, kEntries, append, kMorning);
        QCOMPARE(r.status, SaveResult::Status::FolderFailed);
        QVERIFY(!r.ok());
        QCOMPARE(r.path, resultFolderPath(dir.path()));
        QVERIFY(!r.detail.isEmpty());
    }
    // Even with nothing to save the failure is reported, not hidden.
    QCOMPARE(saveResults(dir.path(), kSeed, QStringList(), false, kMorning).status,
             SaveResult::Status::FolderFailed);
    QCOMPARE(readAll(keywordsDir(dir)), QByteArrayLiteral("not a folder"));
}

void TestStorage::save_readOnlyFolder_reportsFailureAndKeepsOldFile()
{
#ifdef Q_OS_WIN
    QSKIP("Windows ignores a folder's read-only mark");
#else
    if (geteuid() == 0)
        QSKIP("root ignores permissions; save_resultPathIsADirectory covers open failures");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(u"Keywords"_s));
    const QByteArray old = QByteArrayLiteral("old contents\r\n");
    QVERIFY(writeFile(flowerFile(dir), old));
    QVERIFY(QFile::setPermissions(flowerFile(dir), QFileDevice::ReadOwner));
    QVERIFY(::chmod(QFile::encodeName(keywordsDir(dir)).constData(), 0555) == 0);

    const SaveResult over = saveResults(dir.path(), kSeed, kEntries, false, kMorning);
    const SaveResult app = saveResults(dir.path(), kSeed, kEntries, true, kMorning);
    ::chmod(QFile::encodeName(keywordsDir(dir)).constData(), 0755);

    QCOMPARE(over.status, SaveResult::Status::OpenFailed);
    QCOMPARE(app.status, SaveResult::Status::OpenFailed);
    QVERIFY(!over.detail.isEmpty());
    QCOMPARE(over.path, QDir::toNativeSeparators(flowerFile(dir)));
    QCOMPARE(readAll(flowerFile(dir)), old);
#endif
}

void TestStorage::save_resultPathIsADirectory_reportsOpenFailed_data()
{
    QTest::addColumn<bool>("append");
    QTest::newRow("overwrite") << false;
    QTest::newRow("append") << true;
}

void TestStorage::save_resultPathIsADirectory_reportsOpenFailed()
{
    QFETCH(bool, append);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(flowerFile(dir)));
    const SaveResult r = saveResults(dir.path(), kSeed, kEntries, append, kMorning);
    QCOMPARE(r.status, SaveResult::Status::OpenFailed);
    QCOMPARE(r.path, QDir::toNativeSeparators(flowerFile(dir)));
    QVERIFY(!r.detail.isEmpty());
    QVERIFY(QFileInfo(flowerFile(dir)).isDir());
    QCOMPARE(QDir(keywordsDir(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
}

void TestStorage::save_fileSizeLimit_reportsWriteFailed_data()
{
    QTest::addColumn<bool>("append");
    QTest::newRow("overwrite") << false;
    QTest::newRow("append") << true;
}

void TestStorage::save_fileSizeLimit_reportsWriteFailed()
{
#ifdef Q_OS_WIN
    QSKIP("no file size limit to set on Windows");
#else
    QFETCH(bool, append);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(u"Keywords"_s));
    const QByteArray old = QByteArrayLiteral("old block\r\n");
    QVERIFY(writeFile(flowerFile(dir), old));
    QStringList many;
    for (int i = 0; i < 500; ++i)
        many << u"鲜花速递"_s + QString::number(i);
    // The limit leaves room for the old file but not for the new block: a full disk.
    const rlim_t limit = rlim_t(old.size() + 100);
    QVERIFY(buildBlock(kSeed, many, kMorning).size() > qsizetype(limit));

    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
            _exit(100);
        const SaveResult r = saveResults(dir.path(), kSeed, many, append, kMorning);
        _exit(r.detail.isEmpty() ? 101 : int(r.status));
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), int(SaveResult::Status::WriteFailed));

    const QByteArray now = readAll(flowerFile(dir));
    if (append) {
        QVERIFY(now.startsWith(old));
        QVERIFY(now.size() <= qsizetype(limit));
    } else {
        QCOMPARE(now, old);
        // No temporary file is left behind either.
        QCOMPARE(QDir(keywordsDir(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"关键词-鲜花.txt"_s});
    }
#endif
}

enum class KilledAt {
    LastRecordCut,   // in the middle of a tick's write
    SaveNotBegun,    // the end's save noted, nothing written yet
    SaveHalfWritten, // the block written in part
    SaveWritten,     // the block written whole, the journal not yet removed
    OverwriteDone,   // the same in overwrite mode
    LaterSaveAfter,  // the save failed; a later run appended its own block to the file
    HeaderDamaged,   // no telling which file it belongs to
};
Q_DECLARE_METATYPE(KilledAt)

void TestStorage::journal_recoverySavesEachKeywordOnce_data()
{
    QTest::addColumn<KilledAt>("killedAt");
    QTest::newRow("last record cut short") << KilledAt::LastRecordCut;
    QTest::newRow("save noted, nothing written") << KilledAt::SaveNotBegun;
    QTest::newRow("save half written") << KilledAt::SaveHalfWritten;
    QTest::newRow("save written, journal not removed") << KilledAt::SaveWritten;
    QTest::newRow("overwrite done, journal not removed") << KilledAt::OverwriteDone;
    QTest::newRow("another block after the failed save") << KilledAt::LaterSaveAfter;
    QTest::newRow("first line damaged") << KilledAt::HeaderDamaged;
}

void TestStorage::journal_recoverySavesEachKeywordOnce()
{
    QFETCH(KilledAt, killedAt);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDateTime now(QDate(2026, 1, 6), QTime(8, 0, 0));
    // Backslashes, and what looks like an escape, must come back as they went in.
    const QStringList all{u"鲜花1"_s, u"鲜\\花\\2"_s, u"a\\tb\\nc"_s, u"鲜花4"_s};
    const QByteArray old = buildBlock(kSeed, {u"旧"_s}, kMorning);
    QVERIFY(QDir(dir.path()).mkdir(u"Keywords"_s));
    QVERIFY(writeFile(flowerFile(dir), old));

    Journal journal;
    QVERIFY(journal.start(dir.filePath(u"journal"_s), dir.path(), kSeed));
    const QString path = journal.path();
    journal.record(all.mid(0, 1), -1);
    journal.record(all.mid(0, 3), 0);
    journal.record(all, 1);
    const bool append = killedAt != KilledAt::OverwriteDone;
    if (killedAt != KilledAt::LastRecordCut)
        journal.beginSave(kSeed, append, kMorning);
    journal.close();

    const QByteArray saved = buildBlock(kSeed, all, kMorning);
    const QByteArray foreign = buildBlock(kSeed, {u"别的"_s}, now);
    QByteArray expected = old + buildBlock(kSeed, all, now);
    JournalRecovery::Status status = JournalRecovery::Status::Saved;
    switch (killedAt) {
    case KilledAt::LastRecordCut: {
        QVERIFY(QFile::resize(path, QFileInfo(path).size() - 3));
        expected = old + buildBlock(kSeed, all.mid(0, 3), now);
        break;
    }
    case KilledAt::SaveNotBegun:
        break;
    case KilledAt::SaveHalfWritten:
        QVERIFY(writeFile(flowerFile(dir), old + saved.first(saved.size() / 2)));
        break;
    case KilledAt::SaveWritten:
        QVERIFY(writeFile(flowerFile(dir), old + saved));
        expected = old + saved;
        status = JournalRecovery::Status::AlreadySaved;
        break;
    case KilledAt::OverwriteDone:
        QVERIFY(writeFile(flowerFile(dir), saved));
        expected = saved;
        status = JournalRecovery::Status::AlreadySaved;
        break;
    case KilledAt::LaterSaveAfter:
        QVERIFY(writeFile(flowerFile(dir), old + foreign));
        expected = old + foreign + buildBlock(kSeed, all, now);
        break;
    case KilledAt::HeaderDamaged: {
        QByteArray bytes = readAll(path);
        bytes[12] = bytes[12] ^ 1;
        QVERIFY(writeFile(path, bytes));
        expected = old;
        status = JournalRecovery::Status::Unreadable;
        break;
    }
    }

    const JournalRecovery r = recoverJournal(path, now, dir.path());
    QCOMPARE(r.status, status);
    QCOMPARE(readAll(flowerFile(dir)), expected);
    // Nothing is left to be saved a second time; what cannot be read stays.
    QCOMPARE(QFileInfo::exists(path), status == JournalRecovery::Status::Unreadable);
    QCOMPARE(recoverJournals(dir.filePath(u"journal"_s), now, dir.path()).size(),
             status == JournalRecovery::Status::Unreadable ? 1 : 0);
}

// A copy unpacked somewhere, killed, then deleted: its harvest is saved where this start saves,
// and the deleted folder is not made again.
void TestStorage::journal_recoveryOfAGoneFolderSavesInThisStartsFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString gone = dir.filePath(u"unpacked"_s);
    const QString here = dir.filePath(u"here"_s);
    QVERIFY(QDir().mkpath(gone));
    Journal journal;
    QVERIFY(journal.start(dir.filePath(u"journal"_s), gone, kSeed));
    journal.record(kEntries, 0);
    journal.close();
    QVERIFY(QDir(gone).removeRecursively());

    const QDateTime now(QDate(2026, 1, 6), QTime(8, 0, 0));
    const QList<JournalRecovery> recovered = recoverJournals(dir.filePath(u"journal"_s), now, here);
    QCOMPARE(recovered.size(), 1);
    QCOMPARE(recovered.first().status, JournalRecovery::Status::Saved);
    QCOMPARE(recovered.first().save.path, QDir::toNativeSeparators(resultFilePath(here, kSeed)));
    QCOMPARE(readAll(resultFilePath(here, kSeed)), buildBlock(kSeed, kEntries, now));
    QVERIFY(!QFileInfo::exists(gone));
}

enum class KeptCase {
    OlderJournalRecovered,
    PaceAtTheEnd,
    SeedLongerThanAGlance,
    GivenBackWhileLocked,
};
Q_DECLARE_METATYPE(KeptCase)

void TestStorage::keptRun_isTheNewestRunsAsItEnded_data()
{
    QTest::addColumn<KeptCase>("kind");
    QTest::newRow("an older run's journal recovered after a newer kept run")
        << KeptCase::OlderJournalRecovered;
    QTest::newRow("continued, then ended at full speed") << KeptCase::PaceAtTheEnd;
    QTest::newRow("a seed longer than the glance at start-up") << KeptCase::SeedLongerThanAGlance;
    QTest::newRow("given back while another copy holds its lock") << KeptCase::GivenBackWhileLocked;
}

void TestStorage::keptRun_isTheNewestRunsAsItEnded()
{
    QFETCH(KeptCase, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(u"journal"_s);
    // Its header longer than the glance's 64 KiB.
    const QString seed = kind == KeptCase::SeedLongerThanAGlance ? QString(70000, u'a') : kSeed;
    const QDateTime nine(QDate(2026, 1, 5), QTime(9, 0)), ten(QDate(2026, 1, 5), QTime(10, 0));
    const QStringList eight{u"鲜花1"_s, u"鲜花2"_s, u"鲜花3"_s, u"鲜花4"_s,
                            u"鲜花5"_s, u"鲜花6"_s, u"鲜花7"_s, u"鲜花8"_s};
    const QStringList learned{u"refused=2"_s, u"rate=7.25"_s, u"at=2026-01-05T09:59:00.000"_s};
    // Ends a run that asked `asked` of `harvest`; kept, or left as the journal of a failed save.
    const auto endRun = [&](const QStringList &harvest, qsizetype asked, const QDateTime &when,
                            const QStringList &pace, bool keep) {
        Journal journal;
        QVERIFY(journal.start(folder, dir.path(), seed));
        journal.record(harvest, asked);
        journal.end(RunEnding::Stop, when, pace);
        journal.beginSave(seed, true, when);
        QVERIFY(saveResults(dir.path(), seed, harvest, true, when).ok());
        if (keep)
            QVERIFY(journal.keep());
        else
            journal.close();
    };

    switch (kind) {
    case KeptCase::OlderJournalRecovered:
        endRun(eight.mid(0, 5), 1, nine, {}, false);
        endRun(eight, 4, ten, {}, true);
        QCOMPARE(recoverJournals(folder, ten.addSecs(60), dir.path()).size(), 1);
        break;
    case KeptCase::PaceAtTheEnd: {
        endRun(eight, 4, nine, learned, true);
        QCOMPARE(readKeptRun(folder, seed).run.pace, learned);
        Journal journal;
        QCOMPARE(journal.resume(folder, dir.path(), readKeptRun(folder, seed)),
                 Journal::Resume::Resumed);
        journal.end(RunEnding::Stop, ten, {}); // climbed back to full speed
        journal.beginSave(seed, true, ten);
        QVERIFY(journal.keep());
        break;
    }
    case KeptCase::SeedLongerThanAGlance:
        endRun(eight, 4, ten, {}, true);
        break;
    case KeptCase::GivenBackWhileLocked: {
        endRun(eight, 4, ten, {}, true);
        const QByteArray saved = readAll(resultFilePath(dir.path(), seed));
        {
            Journal journal;
            QCOMPARE(journal.resume(folder, dir.path(), readKeptRun(folder, seed)),
                     Journal::Resume::Resumed);
            journal.record(eight + QStringList{u"鲜花9"_s}, 5);
            QLockFile other(keptRunPath(folder, seed) + u".lock"_s);
            QVERIFY(other.tryLock(0));
            journal.discard(); // cannot go back now: stays, for the next start
        }
        const QList<JournalRecovery> r = recoverJournals(folder, ten.addSecs(60), dir.path());
        QCOMPARE(r.size(), 1);
        QCOMPARE(r.first().status, JournalRecovery::Status::AlreadySaved);
        QVERIFY(r.first().kept);
        QCOMPARE(readAll(resultFilePath(dir.path(), seed)), saved); // not saved twice
        break;
    }
    }
    const KeptRun kept = readKeptRun(folder, seed);
    QCOMPARE(kept.status, KeptRun::Status::Ok);
    QCOMPARE(kept.run.keywords, eight);
    QCOMPARE(kept.run.asked, 4);
    QCOMPARE(kept.run.endTime, ten);
    QCOMPARE(kept.run.pace, QStringList());
    QCOMPARE(glanceAtKeptRuns(folder).size(), 0); // no damage a full read does not see
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
}

void TestStorage::save_staleTemporaryFilesGoOthersStay()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDir keywords(keywordsDir(dir));
    QVERIFY(QDir().mkpath(keywords.path()));
    const QString killed = u".tailspade-0badf00d.tmp"_s; // its copy killed: a lock left over
    const QString cut = u".tailspade-00c0ffee.tmp"_s;    // a power cut before its lock was made
    const QString saving = u".tailspade-5a71e5ed.tmp"_s; // a copy saving right now
    const QString notOurs = u".tailspade-backup.tmp"_s;  // a name of the user's
    for (const QString &name : {killed, cut, saving, notOurs, u"关键词-鲜花.txt"_s})
        QVERIFY(writeFile(keywords.filePath(name), QByteArrayLiteral("x")));
    // A PID no process has: above Linux's limit of 2^22, and far above what Windows hands out.
    const qint64 pid = qint64(1) << 30;
    QByteArray lockBytes;
    {
        QLockFile ours(dir.filePath(u"ours.lock"_s));
        QVERIFY(ours.tryLock(0));
        lockBytes = readAll(dir.filePath(u"ours.lock"_s));
    }
    lockBytes = QByteArray::number(pid) + lockBytes.mid(lockBytes.indexOf('\n'));
    QVERIFY(writeFile(keywords.filePath(killed + u".lock"_s), lockBytes));
    QLockFile held(keywords.filePath(saving + u".lock"_s));
    QVERIFY(held.tryLock(0));

    removeStaleTemporaryFiles(dir.path());
    QCOMPARE(keywords.entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{saving, saving + u".lock"_s, notOurs, u"关键词-鲜花.txt"_s}));
}

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
