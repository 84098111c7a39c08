// The harvest as a spreadsheet, read back as a spreadsheet program reads it, and the origins
// of its keywords through the run's record.

#include "storage/export.h"
#include "storage/journal.h"
#include "xlsxreader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// 鲜花 gave 鲜花店 and "a,""b"; 鲜花店 gave 鲜花店=𠀀 (a character of two UTF-16 units);
// 老花 came from a run recorded before origins were kept.
HarvestPart flowers()
{
    HarvestPart part{u"鲜花"_s, {u"鲜花店"_s, u"花,\"b\""_s, u"=鲜花店𠀀"_s, u"老花"_s}, {}};
    for (const qint32 parent : {Origins::kFromSeed, Origins::kFromSeed, 0, Origins::kUnknown})
        part.origins.append(parent);
    return part;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void workbookAndCsv_holdTheRowsInHarvestOrder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QList<HarvestPart> parts{flowers(), {u"玫瑰"_s, {u"玫瑰花"_s}, {}}};
        const QString book = dir.filePath(u"导出.xlsx"_s);
        QVERIFY(exportHarvest(book, ExportFormat::Xlsx, parts).ok());
        const Sheet sheet = readSheet(unzip(readAll(book)), 1);
        const QList<QStringList> rows{
            {u"关键词"_s, u"源关键字"_s, u"来源词"_s, u"层级"_s, u"字数"_s},
            {u"鲜花店"_s, u"鲜花"_s, u"鲜花"_s, u"n:1"_s, u"n:3"_s},
            {u"花,\"b\""_s, u"鲜花"_s, u"鲜花"_s, u"n:1"_s, u"n:5"_s},
            {u"=鲜花店𠀀"_s, u"鲜花"_s, u"鲜花店"_s, u"n:2"_s, u"n:5"_s},
            {u"老花"_s, u"鲜花"_s, QString(), QString(), u"n:2"_s},
            {u"玫瑰花"_s, u"玫瑰"_s, QString(), QString(), u"n:3"_s},
        };
        QCOMPARE(sheet.rows, rows);
        QCOMPARE(sheet.frozen, u"1"_s);
        QCOMPARE(sheet.widths.size(), 5);
        QVERIFY(sheet.widths.at(0) >= 2 * 5); // five Chinese characters
        QVERIFY(sheet.widths.at(3) >= 4);     // 层级

        // Excel reads a file with the mark as UTF-8; a cell that would be a formula is not one.
        const QString csv = dir.filePath(u"导出.csv"_s);
        QVERIFY(exportHarvest(csv, ExportFormat::Csv, parts).ok());
        QCOMPARE(readAll(csv), "\xEF\xBB\xBF" + QString(u"关键词,源关键字,来源词,层级,字数\r\n"
                                                        "鲜花店,鲜花,鲜花,1,3\r\n"
                                                        "\"花,\"\"b\"\"\",鲜花,鲜花,1,5\r\n"
                                                        "'=鲜花店𠀀,鲜花,鲜花店,2,5\r\n"
                                                        "老花,鲜花,,,2\r\n"
                                                        "玫瑰花,玫瑰,,,3\r\n"_s)
                                                    .toUtf8());
    }

    void failedExport_leavesWhatWasThere_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("how");
        for (const auto format : {ExportFormat::Xlsx, ExportFormat::Csv}) {
            const char *kind = format == ExportFormat::Xlsx ? "xlsx" : "csv";
            QTest::addRow("%s into a folder that is gone", kind) << int(format) << u"gone"_s;
            QTest::addRow("%s over a folder", kind) << int(format) << u"folder"_s;
            QTest::addRow("%s on a full disk", kind) << int(format) << u"full"_s;
            QTest::addRow("%s over a file open in another program", kind)
                << int(format) << u"held"_s;
        }
    }
    void failedExport_leavesWhatWasThere()
    {
        QFETCH(int, format);
        QFETCH(QString, how);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(how == u"gone"_s ? u"无/导出"_s : u"导出"_s);
        const QByteArray old = "old";
        if (how == u"folder"_s)
            QVERIFY(QDir().mkdir(target));
        HarvestPart many{u"鲜花"_s, {}, {}};
        for (int i = 0; i < 5000; ++i)
            many.keywords << u"鲜花速递"_s + QString::number(i);
        SaveResult r;
        if (how == u"held"_s) {
#ifdef Q_OS_WIN
            // As Excel holds a workbook it shows: shared with no one.
            const HANDLE held = CreateFileW(
                reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
                GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                nullptr);
            QVERIFY(held != INVALID_HANDLE_VALUE);
            DWORD n = 0;
            QVERIFY(WriteFile(held, old.constData(), DWORD(old.size()), &n, nullptr));
            r = exportHarvest(target, ExportFormat(format), {many});
            CloseHandle(held);
            QCOMPARE(readAll(target), old);
            // Windows' own words, not the C library's.
            QStringList windows;
            for (const DWORD code : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
                wchar_t text[512] = {};
                const DWORD length =
                    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, 512, nullptr);
                windows << QString::fromWCharArray(text, int(length)).trimmed();
            }
            QVERIFY2(windows.contains(r.detail), qPrintable(r.detail));
#else
            QSKIP("a file open in another program is replaced here");
#endif
        } else if (how != u"full"_s) {
            r = exportHarvest(target, ExportFormat(format), {many});
        } else {
#ifdef Q_OS_WIN
            QSKIP("no file size limit to set on Windows");
#else
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
            f.close();
            // The limit leaves room for a little: the disk fills in the middle of the file.
            const pid_t pid = fork();
            QVERIFY(pid >= 0);
            if (pid == 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit rl{4096, 4096};
                setrlimit(RLIMIT_FSIZE, &rl);
                const SaveResult inChild = exportHarvest(target, ExportFormat(format), {many});
                _exit(inChild.ok() ? 0 : inChild.detail.isEmpty() ? 1 : 2);
            }
            int status = 0;
            QCOMPARE(waitpid(pid, &status, 0), pid);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 2);
            QCOMPARE(readAll(target), old);
#endif
        }
        if (how != u"full"_s) {
            QVERIFY(!r.ok());
            QVERIFY2(!r.detail.isEmpty(), "the system's reason");
        }
        QCOMPARE(QFileInfo(target).isDir(), how == u"folder"_s);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 how == u"gone"_s ? QStringList() : QStringList{u"导出"_s});
    }

    // What a tick's page gave, and how far from the seed, through the journal and back;
    // a journal of 1.3 reads with its origins unknown.
    void origins_travelThroughTheJournal()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Journal journal;
        QVERIFY(journal.start(dir.path(), dir.path(), u"鲜花"_s));
        const HarvestPart part = flowers();
        journal.record(part.keywords.mid(0, 2), 0, part.origins);
        journal.record(part.keywords, 1, part.origins);
        const QString path = journal.path();
        journal.close();
        const JournalContents read = readJournal(path);
        QVERIFY(read.ok && !read.damaged);
        QCOMPARE(read.keywords, part.keywords);
        QCOMPARE(read.asked, 1);
        QCOMPARE(read.origins.parents, part.origins.parents);
        QCOMPARE(read.origins.depths, (QList<qint32>{1, 1, 2, 0}));

        QByteArray old = encodeJournalLine({u"tailspade-journal"_s, u"2"_s, dir.path(), u"f.txt"_s,
                                            u"鲜花"_s, u"0"_s}) +
                         encodeJournalLine({u"k"_s, u"0"_s, u"鲜花店"_s, u"花店"_s});
        const JournalContents v2 = parseJournal(old);
        QCOMPARE(v2.keywords, (QStringList{u"鲜花店"_s, u"花店"_s}));
        QCOMPARE(v2.origins.parents, (QList<qint32>{Origins::kUnknown, Origins::kUnknown}));
        QCOMPARE(v2.origins.depths, (QList<qint32>{0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_storage_export.moc"
