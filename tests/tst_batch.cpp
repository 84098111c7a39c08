// A batch of seeds through the real window: what it asks and writes against single runs of
// the same seeds, a stop continued later, and the seed file's encodings.

#include "harness.h"
#include "text/codepage.h"

#include <QLabel>
#include <QLineEdit>
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
        QCOMPARE(h.form->batch().kept().status, KeptBatchRecord::Status::None);
        QCOMPARE(h.keptRuns(), QStringList());
    }

    void batch_stoppedInTheSecondSeed_goesOnLaterAskingNothingTwice()
    {
        Harness h;
        plant(h);
        h.desktop.seedLines = kSeeds;
        h.slowKeywords.insert(u"玫瑰1"_s, 300);
        h.onQuery = [&h](const QString &keyword) {
            if (keyword == u"玫瑰1"_s && h.queried().count(keyword) == 1)
                QTimer::singleShot(0, h.form->Command1, &QPushButton::click);
        };
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
    }
};

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"
