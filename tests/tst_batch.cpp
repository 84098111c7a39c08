// A batch of seeds through the real window: what it asks and writes against single runs of
// the same seeds, a stop continued later, and the seed file's encodings.

#include "harness.h"
#include "mining/exclusion.h"
#include "storage/export.h"
#include "text/codepage.h"
#include "xlsxreader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString kIdle = u"开始采集"_s;
const QStringList kSeeds{u"鲜花"_s, u"玫瑰"_s, u"绿植"_s};

void plant(Harness &h)
{
    h.pages = {{u"鲜花"_s, {u"鲜花1"_s, u"鲜花2"_s}}, {u"鲜花1"_s, {u"鲜花11"_s}},
               {u"玫瑰"_s, {u"玫瑰1"_s, u"玫瑰2"_s}}, {u"玫瑰1"_s, {u"玫瑰11"_s, u"鲜花1"_s}},
               {u"玫瑰2"_s, {u"玫瑰21"_s}},           {u"绿植"_s, {u"绿植1"_s}}};
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Stops the batch while the second seed's first queue keyword is awaited.
void stopInTheSecondSeed(Harness &h)
{
    h.slowKeywords.insert(u"玫瑰1"_s, 300);
    h.onQuery = [&h](const QString &keyword) {
        if (keyword == u"玫瑰1"_s && h.queried().count(keyword) == 1)
            QTimer::singleShot(0, h.form->Command1, &QPushButton::click);
    };
}

// Runs until the batch's one box, the summary, has been shown.
void runBatch(Harness &h)
{
    const qsizetype before = h.desktop.messages.size();
    h.form->BatchButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(h.desktop.messages.size() > before && !h.form->batch().running(),
                             30000);
    QCOMPARE(h.form->Command1->text(), kIdle);
}

} // namespace

class BatchTest : public QObject {
    Q_OBJECT

private:
    QStringList m_singleQueries;
    QList<QByteArray> m_singleFiles;
    QList<HarvestPart> m_singleHarvests;

private slots:
    void initTestCase()
    {
        Harness single;
        plant(single);
        for (const QString &seed : kSeeds) {
            single.form->Text2Edit->setText(seed);
            single.form->Command1->click();
            QTRY_COMPARE_WITH_TIMEOUT(single.form->Command1->text(), kIdle, 30000);
            m_singleFiles << readAll(single.resultPath(seed));
            m_singleHarvests << single.miner().harvest();
        }
        m_singleQueries = single.queried();
        QCOMPARE(single.desktop.messages.size(), 3);
    }

    void batch_asksAndWritesWhatSingleRunsDo()
    {
        Harness h;
        plant(h);
        QStringList statuses;
        h.onQuery = [&](const QString &) { statuses << h.form->Label4->text(); };
        // Blanks, blank lines and repeats go.
        h.desktop.seedLines = QStringList{u" 鲜花 "_s, QString(), u"玫瑰"_s, u"鲜花"_s, u"绿植"_s};
        runBatch(h);
        QCOMPARE(h.queried(), m_singleQueries);
        for (qsizetype i = 0; i < kSeeds.size(); ++i)
            QCOMPARE(readAll(h.resultPath(kSeeds.at(i))), m_singleFiles.at(i));
        QCOMPARE(h.desktop.messages.size(), 1); // no box between the seeds
        const QString summary = h.desktop.messages.first();
        QVERIFY2(summary.startsWith(u"批量采集完成：共3个源关键字，完成3个，共采集到8个长尾词。\n"
                                    u"鲜花：3个\n玫瑰：4个\n绿植：1个\n结果保存在："_s),
                 qPrintable(summary));
        QVERIFY(
            statuses.contains(u"批量采集第2/3个：正在采集跟（玫瑰1）相关的长尾词--目前采集2个"_s));
        // The place changes as the seed starts, not at its first queue keyword.
        QCOMPARE(statuses.at(h.queried().indexOf(u"玫瑰"_s)),
                 u"批量采集第2/3个：正在采集跟（玫瑰）相关的长尾词--目前采集0个"_s);
        QCOMPARE(h.form->batch().kept().status, KeptBatchRecord::Status::None);
        QCOMPARE(h.keptRuns(), QStringList());
    }

    void batch_stoppedInTheSecondSeed_goesOnLaterAskingNothingTwice()
    {
        Harness h;
        plant(h);
        h.desktop.seedLines = kSeeds;
        stopInTheSecondSeed(h);
        runBatch(h);
        QVERIFY(h.desktop.messages.last().contains(u"批量采集已停止：共3个源关键字，完成1个"_s));
        QCOMPARE(h.keptRuns().size(), 1); // 玫瑰's, to go on from
        const qsizetype asked = h.queried().size();

        // Again at the next start, with the window opened anew.
        h.open();
        plant(h);
        h.desktop.seedLines.reset(); // the dialog does not come: the kept batch is offered
        h.desktop.continueAnswer = ContinueChoice::Continue;
        runBatch(h);
        QCOMPARE(h.desktop.questions,
                 QStringList{u"上次的批量采集共3个源关键字，还有2个没有采集（下一个：“玫瑰”）。"
                             u"是否继续上次的批量采集？"_s});
        // The keyword whose page was awaited at the stop is asked again; nothing else is.
        const qsizetype from = m_singleQueries.indexOf(u"玫瑰1"_s);
        QCOMPARE(h.queried().mid(0, asked), m_singleQueries.mid(0, from + 1));
        QCOMPARE(h.queried().mid(asked), m_singleQueries.mid(from));
        QCOMPARE(readAll(h.resultPath(u"绿植"_s)), m_singleFiles.at(2));
        QVERIFY(h.desktop.messages.last().startsWith(
            u"批量采集完成：共3个源关键字，完成3个，共采集到8个长尾词。"_s));
        QCOMPARE(h.form->batch().kept().status, KeptBatchRecord::Status::None);
        QCOMPARE(h.keptRuns(), QStringList());
    }

    // One workbook of every seed's harvest, with where each keyword came from, also when the
    // batch was stopped or the program killed in its second seed and the batch continued.
    void workbook_holdsEverySeedAfterAStopOrACrash_data()
    {
        QTest::addColumn<bool>("crash");
        QTest::newRow("stopped") << false;
        QTest::newRow("crashed") << true;
    }

    void workbook_holdsEverySeedAfterAStopOrACrash()
    {
        QFETCH(bool, crash);
        Harness h;
        plant(h);
        h.desktop.seedLines = kSeeds;
        if (crash) {
            h.slowKeywords.insert(u"玫瑰1"_s, 300);
            h.form->BatchButton->click();
            QTRY_VERIFY_WITH_TIMEOUT(h.queried().contains(u"玫瑰1"_s), 30000);
        } else {
            stopInTheSecondSeed(h);
            runBatch(h);
        }
        // An hour later: the workbook is named for the batch's start all the same.
        h.open([](MinerOptions &options) {
            options.clock = [] { return fixedClock().addSecs(3600); };
        });
        plant(h);
        h.desktop.seedLines.reset();
        h.desktop.continueAnswer = ContinueChoice::Continue;
        runBatch(h);
        const QString book = h.dir.path() + u"/Keywords/批量采集-鲜花等3个-20261207-100509.xlsx"_s;
        QVERIFY2(h.desktop.messages.last().contains(QDir::toNativeSeparators(book)),
                 qPrintable(h.desktop.messages.last()));
        QList<QStringList> rows{exportHeader()};
        for (const HarvestPart &part : std::as_const(m_singleHarvests)) {
            for (qsizetype i = 0; i < part.keywords.size(); ++i) {
                const ExportRow r = exportRow(part, i);
                rows.append({r.keyword, r.seed, r.parent, u"n:"_s + QString::number(r.depth),
                             u"n:"_s + QString::number(r.characters)});
            }
        }
        QVERIFY(rows.contains({u"玫瑰11"_s, u"玫瑰"_s, u"玫瑰1"_s, u"n:2"_s, u"n:4"_s}));
        QCOMPARE(readSheet(unzip(readAll(book)), 1).rows, rows);
        QCOMPARE(QDir(h.dir.path() + u"/Keywords"_s).entryList({u"*.xlsx"_s}).size(), 1);
        QCOMPARE(QDir(h.journalDir()).entryList(QDir::Files), QStringList());
    }

    void workbook_thatCannotBeWrittenIsSaidAndLeavesNoFile()
    {
        Harness h;
        plant(h);
        h.desktop.seedLines = kSeeds;
        const QString book = h.dir.path() + u"/Keywords/批量采集-鲜花等3个-20261207-100509.xlsx"_s;
        QVERIFY(QDir().mkpath(book)); // a folder where the workbook would go
        runBatch(h);
        QVERIFY2(h.desktop.messages.last().contains(u"\n批量采集的工作簿保存失败！"_s) &&
                     h.desktop.messages.last().contains(QDir::toNativeSeparators(book)),
                 qPrintable(h.desktop.messages.last()));
        QVERIFY(QFileInfo(book).isDir());
        QCOMPARE(QDir(h.dir.path() + u"/Keywords"_s).entryList(QDir::Files).size(), 3);
    }

    // Read once at the batch's start: a change while it runs is for the next run.
    void exclusionWords_holdForTheWholeBatch()
    {
        Harness h;
        plant(h);
        QDir(h.dir.path()).mkdir(u"Keywords"_s);
        QFile words(exclusionFilePath(h.dir.path()));
        QVERIFY(words.open(QIODevice::WriteOnly) && words.write(u"玫瑰2\n"_s.toUtf8()) > 0);
        words.close();
        h.onQuery = [&](const QString &keyword) {
            if (keyword == u"鲜花"_s)
                QFile::remove(words.fileName());
        };
        h.desktop.seedLines = kSeeds;
        runBatch(h);
        QVERIFY(!h.queried().contains(u"玫瑰2"_s));
        QCOMPARE(h.resultLines(u"玫瑰"_s).mid(2), QStringList({u"玫瑰1"_s, u"玫瑰11"_s}));
        QVERIFY(h.desktop.messages.last().contains(u"（本次已排除1个）。"_s));
    }

    // Every choice made at the batch's start holds for its seeds after a stop and a new start.
    void continued_keepsTheChoicesMadeAtItsStart_data()
    {
        QTest::addColumn<bool>("append");
        QTest::addColumn<ContinueChoice>("keptRuns");
        QTest::newRow("追加保存") << true << ContinueChoice::Continue;
        QTest::newRow("重新开始") << false << ContinueChoice::Restart;
    }
    void continued_keepsTheChoicesMadeAtItsStart()
    {
        QFETCH(bool, append);
        QFETCH(ContinueChoice, keptRuns);
        Harness h;
        plant(h);
        h.pages.insert(u"绿植1"_s, {u"绿植11"_s, u"绿植12"_s});
        // 绿植 holds an earlier harvest, and a kept run with its queue still to ask.
        h.form->Text2Edit->setText(u"绿植"_s);
        h.form->Combo1->setEditText(u"2"_s);
        h.form->Command1->click();
        QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);
        QCOMPARE(h.keptRuns().size(), 1);
        const QByteArray earlier = readAll(h.resultPath(u"绿植"_s));
        h.form->Combo1->setEditText(u"0"_s);
        h.form->Check2->setChecked(append);
        h.form->Check3->setChecked(!append);
        h.desktop.seedLines = kSeeds;
        h.desktop.continueAnswer = keptRuns;
        stopInTheSecondSeed(h);
        runBatch(h);

        h.open();
        plant(h);
        h.pages.insert(u"绿植1"_s, {u"绿植11"_s, u"绿植12"_s});
        h.desktop.seedLines.reset();
        h.desktop.continueAnswer = ContinueChoice::Continue;
        const qsizetype asked = h.queried().size();
        runBatch(h);
        const QByteArray now = readAll(h.resultPath(u"绿植"_s));
        QCOMPARE(now.startsWith(earlier) && now.size() > earlier.size(), append);
        // Started again from its seed, or gone on from its kept run.
        QCOMPARE(h.queried().mid(asked).contains(u"绿植"_s), keptRuns == ContinueChoice::Restart);
    }

    void batchEnd_namesWhatBecameOfEachSeed_data()
    {
        QTest::addColumn<QString>("blocked"); // a folder where this seed's result file goes
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("unsaid");
        QTest::newRow("save failed") << u"玫瑰"_s << u"0"_s
                                     << QStringList{u"批量采集已停止"_s, u"“玫瑰”保存失败！"_s,
                                                    u"关键词-玫瑰.txt"_s, u"可继续采集其余1个"_s}
                                     << QStringList{u"批量采集完成"_s};
        QTest::newRow("kept run at its target")
            << QString() << u"2"_s
            << QStringList{u"批量采集完成"_s, u"“鲜花”上次已采集到2个长尾词，已达到采集个数2"_s}
            << QStringList{u"采集失败"_s};
    }
    void batchEnd_namesWhatBecameOfEachSeed()
    {
        QFETCH(QString, blocked);
        QFETCH(QString, target);
        QFETCH(QStringList, said);
        QFETCH(QStringList, unsaid);
        Harness h;
        plant(h);
        h.form->Combo1->setEditText(target);
        if (blocked.isEmpty()) { // a first run of 鲜花 that reached the target
            h.form->Text2Edit->setText(u"鲜花"_s);
            h.form->Command1->click();
            QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);
            h.desktop.continueAnswer = ContinueChoice::Continue;
        } else {
            QVERIFY(QDir().mkpath(h.resultPath(blocked)));
        }
        h.desktop.seedLines = kSeeds;
        runBatch(h);
        for (const QString &text : said)
            QVERIFY2(h.desktop.messages.last().contains(text), qPrintable(text));
        for (const QString &text : unsaid)
            QVERIFY2(!h.desktop.messages.last().contains(text), qPrintable(text));
    }

    void stop_promisesNothingItsRecordCannotKeep()
    {
        Harness h;
        plant(h);
        QVERIFY(QDir().mkpath(h.journalDir() + u"/seeds.batch"_s)); // the record cannot be written
        h.desktop.seedLines = kSeeds;
        stopInTheSecondSeed(h);
        runBatch(h);
        QVERIFY(!h.desktop.messages.last().contains(u"可继续采集其余"_s));
        QVERIFY(h.desktop.messages.last().contains(u"批量采集的进度无法保存"_s));
    }

    // An outage at a seed's first query is waited out, as in the middle of a seed.
    void refusedAtASeedsFirstQuery_waitsAndLosesNoSeed()
    {
        Harness h;
        h.open([](MinerOptions &options) { options.holdInterval = [](qint64) { return 0; }; });
        plant(h);
        int refusals = 2;
        h.engine.setHandler([&](const QByteArray &target) {
            const QString keyword = TestServer::queryKeyword(target);
            TestServer::Response r;
            if (keyword == u"玫瑰"_s && refusals > 0) {
                --refusals;
                r.status = 503;
                return r;
            }
            r.body = suggestionPage(h.pages.value(keyword));
            return r;
        });
        h.desktop.seedLines = kSeeds;
        runBatch(h);
        QVERIFY2(h.desktop.messages.last().startsWith(
                     u"批量采集完成：共3个源关键字，完成3个，共采集到8个长尾词。"_s),
                 qPrintable(h.desktop.messages.last()));
        QCOMPARE(readAll(h.resultPath(u"绿植"_s)), m_singleFiles.at(2));
    }

    // What 批量采集… finds: a batch another copy runs, or one that ended but for its record.
    void keptBatch_offeredOnlyWhenItCanGoOn_data()
    {
        QTest::addColumn<bool>("otherCopy");
        QTest::addColumn<qsizetype>("done");
        QTest::newRow("another copy runs it") << true << qsizetype(1);
        QTest::newRow("every seed done") << false << qsizetype(3);
    }
    void keptBatch_offeredOnlyWhenItCanGoOn()
    {
        QFETCH(bool, otherCopy);
        QFETCH(qsizetype, done);
        Harness h;
        plant(h);
        BatchRecord record;
        record.seeds = kSeeds;
        for (qsizetype i = 0; i < done; ++i)
            record.counts.append(1);
        QVERIFY(writeBatchRecord(h.journalDir(), record));
        QLockFile other(h.journalDir() + u"/seeds.batch.lock"_s);
        if (otherCopy)
            QVERIFY(other.tryLock(0));
        h.desktop.seedLines = QStringList{u"绿植"_s};
        h.form->BatchButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!h.desktop.messages.isEmpty(), 30000);
        QCOMPARE(h.desktop.questions, QStringList());
        const QStringList asked = otherCopy ? QStringList() : QStringList{u"绿植"_s, u"绿植1"_s};
        QCOMPARE(h.queried(), asked);
        QVERIFY(h.desktop.messages.last().contains(otherCopy ? u"另一个Tailspade正在进行批量采集"_s
                                                             : u"批量采集完成：共1个源关键字"_s));
    }

    void seedsOfOneFileName_keepFilesOfTheirOwn()
    {
        Harness h;
        h.pages = {{u"鲜花/礼品"_s, {u"鲜花1"_s}}, {u"鲜花_礼品"_s, {u"鲜花2"_s}}};
        h.desktop.seedLines = QStringList{u"鲜花/礼品"_s, u"鲜花_礼品"_s};
        runBatch(h);
        // The first keeps the name it has alone; the second saves to its marked name.
        QCOMPARE(h.resultLines(u"鲜花_礼品"_s).mid(2), QStringList{u"鲜花1"_s});
        const QString marked = resultFilePath(h.dir.path(), u"鲜花_礼品"_s, true);
        QCOMPARE(QFileInfo(marked).fileName().left(10), u"关键词-鲜花_礼品~"_s);
        QVERIFY(readAll(marked).endsWith(toGbk(u"\r\n\r\n鲜花2\r\n"_s)));
        // A run of it cut short is saved at the next start where the run would have saved.
        {
            Journal journal;
            QVERIFY(journal.start(h.journalDir(), h.dir.path(), u"鲜花_礼品"_s, false, true));
            journal.record({u"鲜花3"_s}, 0);
        }
        QCOMPARE(recoverJournals(h.journalDir(), fixedClock(), h.dir.path()).size(), 1);
        QVERIFY(readAll(marked).endsWith(toGbk(u"\r\n\r\n鲜花3\r\n"_s)));
        QCOMPARE(h.resultLines(u"鲜花_礼品"_s).mid(2), QStringList{u"鲜花1"_s});
    }

    void seeds_areJudgedAsTheRunAndTheRecordJudgeThem()
    {
        const BatchSeeds b =
            cleanSeeds({u"Nike鞋"_s, u"nike鞋"_s, u"鲜花\t120"_s, u"玫\u0001瑰"_s, u"\t"_s});
        QCOMPARE(b.seeds, (QStringList{u"Nike鞋"_s, u"鲜花"_s}));
        QCOMPARE(b.repeated, qsizetype(1));
        // Cut short inside its first line, a kept run is named at start-up.
        QTemporaryDir dir;
        QFile cut(dir.filePath(u"x.kept"_s));
        QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write("tailspade-journal\t2\t/tmp") > 0);
        cut.close();
        QCOMPARE(glanceAtKeptRuns(dir.path()).size(), 1);
    }

    void seedFile_readsGbkAndUtf8AlikeAndRefusesWhatIsNoList()
    {
        const QString text = u"鲜花\r\n玫瑰花\r\n\r\n鲜花速递\r\n"_s;
        const SeedFile fromGbk = decodeSeedText(toGbk(text));
        const SeedFile fromUtf8 =
            decodeSeedText("\xEF\xBB\xBF" + QString(text).remove(u'\r').toUtf8());
        QCOMPARE(fromGbk.error, QString());
        QCOMPARE(fromGbk.lines, (QStringList{u"鲜花"_s, u"玫瑰花"_s, QString(), u"鲜花速递"_s}));
        QCOMPARE(fromUtf8.lines, fromGbk.lines);
        QVERIFY(!decodeSeedText(QByteArray("PK\x03\x04\0\0", 6)).error.isEmpty());
        for (const char *notGbk : {"\x81\x7F", "\xCF"}) // neither encoding: a bad or cut-off pair
            QVERIFY(!decodeSeedText(toGbk(text) + notGbk).error.isEmpty());
        QVERIFY(!decodeSeedText(QByteArray(kMaxSeedFileBytes + 1, 'a')).error.isEmpty());
        QVERIFY(!readSeedFile(u"/nonexistent/seeds.txt"_s).error.isEmpty());
        // The program's own result file: GBK with GB18030's four-byte forms.
        const SeedFile four = decodeSeedText(toGbk(u"\U00020BB7鲜花\r\n\U0001F600\r\n"_s));
        QCOMPARE(four.error, QString());
        QCOMPARE(four.lines, (QStringList{u"\U00020BB7鲜花"_s, u"\U0001F600"_s}));
    }
};

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"
