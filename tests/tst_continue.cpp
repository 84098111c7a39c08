// A run that ended early goes on later, through the real window: the kept run, the question
// about it and its three answers, and kept runs that cannot be trusted.

#include "harness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <memory>
#include <utility>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const QString kIdle = u"开始采集"_s;
const QString kSeed = u"鲜花"_s;

enum class FirstEnd { StopBetweenTicks, StopWhileAwaited, Target, GiveUp };
enum class Then { Continue, Reopen, AppendTicked };
enum class Answer {
    Restart,
    Cancel,
    TargetMet,
    Damaged,
    CutShort,
    Newer,
    ForgedLineBreak,
    NoRoomForJournal,
    CannotLock,
    LeftWithOk,
    EngineAway,
    EngineBreaksOff,
};

// Three levels, a repeat (鲜花11), and 花店, which only a run without the whole-seed test keeps.
void plantTree(Harness &h)
{
    h.pages = {{kSeed, {u"鲜花1"_s, u"鲜花2"_s, u"鲜花3"_s}},
               {u"鲜花1"_s, {u"鲜花11"_s, u"鲜花12"_s}},
               {u"鲜花2"_s, {u"鲜花21"_s, u"鲜花11"_s}},
               {u"鲜花3"_s, {u"鲜花31"_s}},
               {u"鲜花11"_s, {u"鲜花111"_s}},
               {u"鲜花21"_s, {u"鲜花3"_s, u"鲜花211"_s}},
               {u"鲜花31"_s, {u"花店"_s}}};
    h.form->Text2Edit->setText(kSeed);
    h.form->Check1->setChecked(true);
}

void runToEnd(Harness &h)
{
    h.form->Command1->click();
    QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Presses a button while no file may grow past limit bytes: a disk that is all but full.
void clickOnFullDisk(QAbstractButton *button, qint64 limit)
{
#ifdef Q_OS_UNIX
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a write past it fails instead
    const rlimit full{rlim_t(limit), old.rlim_max};
    const bool limited = limit < 0 || setrlimit(RLIMIT_FSIZE, &full) == 0;
    button->click();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(limited);
#else
    Q_UNUSED(limit);
    button->click();
#endif
}

// Ends the first run the given way, with 7 keywords harvested and 3 of them asked about.
void endFirstRun(Harness &h, FirstEnd end)
{
    switch (end) {
    case FirstEnd::StopBetweenTicks:
        h.form->Command1->click();
        h.miner().Timer1.stop();
        for (int i = 0; i < 4; ++i)
            h.miner().Timer1_Timer();
        h.form->Command1->click();
        break;
    case FirstEnd::StopWhileAwaited:
        h.slowKeywords.insert(u"鲜花11"_s, 300);
        h.onQuery = [&h, once = std::make_shared<bool>(true)](const QString &keyword) {
            if (keyword == u"鲜花11"_s && std::exchange(*once, false))
                QTimer::singleShot(0, h.form->Command1, &QPushButton::click);
        };
        runToEnd(h);
        break;
    case FirstEnd::Target:
        h.form->Combo1->setEditText(u"4"_s); // met inside 鲜花1's page
        runToEnd(h);
        h.form->Combo1->setEditText(u"0"_s);
        break;
    case FirstEnd::GiveUp:
        h.open([](MinerOptions &options) {
            options.holdLimitMs = 0; // the first refusal gives up
            options.holdInterval = [](qint64) { return 0; };
        });
        plantTree(h);
        h.engine.setHandler([&h, once = std::make_shared<bool>(true)](const QByteArray &target) {
            const QString keyword = TestServer::queryKeyword(target);
            TestServer::Response r;
            r.body = suggestionPage(h.pages.value(keyword));
            if (keyword == u"鲜花11"_s && std::exchange(*once, false))
                r.status = 503;
            return r;
        });
        runToEnd(h);
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(FirstEnd)
Q_DECLARE_METATYPE(Then)
Q_DECLARE_METATYPE(Answer)

class ContinueTest : public QObject {
    Q_OBJECT

private:
    QStringList m_undisturbedQueries, m_undisturbedHarvest;
    QByteArray m_undisturbedFile;
    Origins m_undisturbedOrigins;

private slots:
    void initTestCase()
    {
        Harness u;
        plantTree(u);
        runToEnd(u);
        m_undisturbedQueries = u.queried();
        m_undisturbedHarvest = u.miner().List2.items();
        m_undisturbedFile = readAll(u.resultPath(kSeed));
        m_undisturbedOrigins = u.miner().harvest().origins;
        QCOMPARE(m_undisturbedHarvest.size(), 9);
        // 鲜花211 came from 鲜花21, which came from 鲜花2, from the seed.
        QCOMPARE(m_undisturbedOrigins.parents.at(m_undisturbedHarvest.indexOf(u"鲜花211"_s)),
                 m_undisturbedHarvest.indexOf(u"鲜花21"_s));
        QCOMPARE(m_undisturbedOrigins.depths.at(m_undisturbedHarvest.indexOf(u"鲜花211"_s)), 3);
        QCOMPARE(u.keptRuns(), QStringList()); // nothing was left to ask
    }

    void continuedRun_asksWhatAnUndisturbedRunAsks_data()
    {
        QTest::addColumn<FirstEnd>("end");
        QTest::addColumn<Then>("then");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("goesOnWith");
        const QString stopped =
            u"“鲜花”上次采集到7个长尾词时停止（2026/12/7 10:05:09），还有4个长尾词没有查询。是否继续上次的采集？"_s;
        QTest::newRow("stopped between ticks")
            << FirstEnd::StopBetweenTicks << Then::Continue << stopped << u"鲜花11"_s;
        QTest::newRow("stopped while a page is awaited: that keyword again")
            << FirstEnd::StopWhileAwaited << Then::Continue << stopped << u"鲜花11"_s;
        QTest::newRow("stopped, window closed and opened again")
            << FirstEnd::StopBetweenTicks << Then::Reopen << stopped << u"鲜花11"_s;
        QTest::newRow("stopped, then append ticked")
            << FirstEnd::StopBetweenTicks << Then::AppendTicked << stopped << u"鲜花11"_s;
        QTest::newRow("target reached inside a page: that page again")
            << FirstEnd::Target << Then::Continue
            << u"“鲜花”上次采集到4个长尾词时达到采集个数（2026/12/7 10:05:09），还有4个长尾词没有查询。是否继续上次的采集？"_s
            << u"鲜花1"_s;
        const QString givenUp =
            u"“鲜花”上次采集到7个长尾词时因搜索引擎一直拒绝查询而停止（2026/12/7 10:05:09），还有4个长尾词没有查询。是否继续上次的采集？"_s;
        QTest::newRow("given up: the refused keyword again")
            << FirstEnd::GiveUp << Then::Continue << givenUp << u"鲜花11"_s;
        QTest::newRow("given up, window closed and opened again")
            << FirstEnd::GiveUp << Then::Reopen << givenUp << u"鲜花11"_s;
    }
    void continuedRun_asksWhatAnUndisturbedRunAsks()
    {
        QFETCH(FirstEnd, end);
        QFETCH(Then, then);
        QFETCH(QString, question);
        QFETCH(QString, goesOnWith);
        Harness h;
        plantTree(h);
        endFirstRun(h, end);
        QCOMPARE(h.form->Command1->text(), kIdle);
        QCOMPARE(h.keptRuns().size(), 1);
        QCOMPARE(h.journals(), QStringList());
        const QByteArray firstFile = readAll(h.resultPath(kSeed));
        const qsizetype asked = h.engine.requests().size();
        // Up to the keyword it goes on with, the first run asked what an undisturbed run asks.
        const qsizetype from = m_undisturbedQueries.indexOf(goesOnWith);
        QCOMPARE(h.queried().mid(0, from), m_undisturbedQueries.mid(0, from));

        if (then == Then::Reopen) {
            h.open();
            plantTree(h);
        }
        h.form->Check1->setChecked(false); // the kept run's setting comes back
        if (then == Then::AppendTicked)
            h.form->Check2->setChecked(true);
        h.desktop.continueAnswer = ContinueChoice::Continue;
        h.form->Command1->click();
        QCOMPARE(h.desktop.questions, QStringList{question});
        QCOMPARE(h.form->List3->count(), question.contains(u"采集到4个"_s) ? 4 : 7); // at once
        QVERIFY(h.form->Check1->isChecked());
        QCOMPARE(h.keptRuns(), QStringList()); // one record of the harvest: the run's journal
        QCOMPARE(h.journals().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);

        QCOMPARE(h.queried().mid(asked), m_undisturbedQueries.mid(from));
        QCOMPARE(h.miner().List2.items(), m_undisturbedHarvest);
        // Where each keyword came from went through the kept run, over a restart too.
        QCOMPARE(h.miner().harvest().origins.parents, m_undisturbedOrigins.parents);
        QCOMPARE(h.miner().harvest().origins.depths, m_undisturbedOrigins.depths);
        QCOMPARE(h.form->List3->count(), m_undisturbedHarvest.size());
        const QByteArray file = readAll(h.resultPath(kSeed));
        if (then == Then::AppendTicked)
            QCOMPARE(file, firstFile + m_undisturbedFile);
        else
            QCOMPARE(file, m_undisturbedFile);
        QCOMPARE(h.keptRuns(), QStringList());
        QCOMPARE(h.journals(), QStringList());
        // The pace the refusal taught goes on with the run, over a restart too.
        QCOMPARE(h.form->Label4->text().contains(u"（已按搜索引擎限速，平均每秒约"_s),
                 end == FirstEnd::GiveUp);
    }

    void keptRun_answersAndDamage_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("重新开始") << Answer::Restart;
        QTest::newRow("取消") << Answer::Cancel;
        QTest::newRow("target already met") << Answer::TargetMet;
        QTest::newRow("damaged") << Answer::Damaged;
        QTest::newRow("cut short") << Answer::CutShort;
        QTest::newRow("from a newer program: left alone") << Answer::Newer;
        QTest::newRow("a keyword with a line break, checksum made to fit")
            << Answer::ForgedLineBreak;
        QTest::newRow("no room for the journal") << Answer::NoRoomForJournal;
        QTest::newRow("its lock cannot be made") << Answer::CannotLock;
        QTest::newRow("continued, then left with 确定") << Answer::LeftWithOk;
        QTest::newRow("continued with the engine away") << Answer::EngineAway;
        QTest::newRow("continued with the engine breaking off") << Answer::EngineBreaksOff;
    }
    void keptRun_answersAndDamage()
    {
        QFETCH(Answer, answer);
        Harness h;
        plantTree(h);
        endFirstRun(h, FirstEnd::StopBetweenTicks);
        QCOMPARE(h.keptRuns().size(), 1);
        const QString kept = h.journalDir() + u'/' + h.keptRuns().first();
        const QByteArray keptBytes = readAll(kept);
        const QByteArray firstFile = readAll(h.resultPath(kSeed));
        const qsizetype asked = h.engine.requests().size();
        QString notice = u"上次的采集进度无法读取，已忽略："_s + QDir::toNativeSeparators(kept);

        QByteArray bytes = keptBytes;
        qint64 diskLimit = -1;
        QString refusal; // why nothing starts
        switch (answer) {
        case Answer::Restart:
            h.desktop.continueAnswer = ContinueChoice::Restart;
            break;
        case Answer::Cancel:
            h.desktop.continueAnswer = ContinueChoice::Cancel;
            break;
        case Answer::TargetMet:
            h.desktop.continueAnswer = ContinueChoice::Continue;
            h.form->Combo1->setEditText(u" 7 "_s);
            break;
        case Answer::Damaged:
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
            break;
        case Answer::CutShort:
            bytes.chop(5);
            break;
        case Answer::Newer: {
            const qsizetype eol = bytes.indexOf('\n');
            QStringList header = QString::fromUtf8(bytes.mid(9, eol - 9)).split(u'\t');
            header[1] = u"4"_s;
            bytes = encodeJournalLine(header) + bytes.mid(eol + 1);
            notice = u"上次的采集进度由较新版本的Tailspade保存，已忽略："_s +
                     QDir::toNativeSeparators(kept);
            break;
        }
        case Answer::ForgedLineBreak: {
            const qsizetype from = bytes.indexOf(" k\t") - 8;
            const qsizetype eol = bytes.indexOf('\n', from);
            QStringList line = QString::fromUtf8(bytes.mid(from + 9, eol - from - 9)).split(u'\t');
            line.last() += u"\r\n以下是与 {伪造} 相关长尾词"_s;
            bytes = bytes.first(from) + encodeJournalLine(line) + bytes.mid(eol + 1);
            break;
        }
        case Answer::NoRoomForJournal:
        case Answer::CannotLock:
#ifndef Q_OS_UNIX
            QSKIP("no file size limit to set on Windows");
#endif
            if (answer == Answer::CannotLock) {
                diskLimit = 8;
                refusal = u"“鲜花”上次的采集进度无法锁定（磁盘已满或无法写入），没有开始采集。"
                          u"请检查保存采集进度的文件夹："_s +
                          QDir::toNativeSeparators(h.journalDir());
                break;
            }
            // Room for the locks and the journal's first line, not for the kept harvest.
            h.desktop.continueAnswer = ContinueChoice::Continue;
            diskLimit = keptBytes.indexOf('\n') + 16;
            refusal = u"“鲜花”的采集进度无法接着记录（磁盘已满或无法写入），没有开始采集，"
                      u"上次的采集进度仍然保留。请检查保存采集进度的文件夹："_s +
                      QDir::toNativeSeparators(h.journalDir());
            break;
        case Answer::LeftWithOk:
        case Answer::EngineAway:
        case Answer::EngineBreaksOff: {
            h.desktop.continueAnswer = ContinueChoice::Continue;
            if (answer != Answer::LeftWithOk) {
                // Refused, or broken off without a refusal: ended at the first query either way.
                if (answer == Answer::EngineAway)
                    h.engine.close();
                else
                    h.engine.setHandler([](const QByteArray &) {
                        TestServer::Response r;
                        r.mode = TestServer::Response::Mode::CloseNoAnswer;
                        return r;
                    });
                runToEnd(h);
                QCOMPARE(h.desktop.messages.last(),
                         u"无法连接搜索引擎（"_s +
                             (answer == Answer::EngineAway ? u"连接被拒绝"_s : u"连接被中断"_s) +
                             u"），本次1次查询全部失败，没有采集到长尾词。"_s);
            } else {
                h.form->Command1->click();
                h.miner().Timer1.stop();
                h.miner().Timer1_Timer();
                h.desktop.exitAnswer = true;
                h.form->close();
                QCOMPARE(h.quitCalls, 1);
            }
            QCOMPARE(readAll(h.resultPath(kSeed)), firstFile); // nothing saved
            // Nothing of the kept run was lost: the same question comes again.
            h.open();
            plantTree(h);
            h.desktop.continueAnswer = ContinueChoice::Cancel;
            h.form->Command1->click();
            QCOMPARE(h.desktop.questions.size(), 2);
            QCOMPARE(h.desktop.questions.last(), h.desktop.questions.first());
            return;
        }
        }
        const bool untrusted = bytes != keptBytes;
        if (untrusted) {
            QVERIFY(writeAll(kept, bytes));
            h.open(); // the start says so too, of what a glance at the file's ends shows
            QCOMPARE(h.form->Label4->text(),
                     answer == Answer::Damaged || answer == Answer::ForgedLineBreak ? QString()
                                                                                    : notice);
            plantTree(h);
        }
        const QString label4 = h.form->Label4->text();
        clickOnFullDisk(h.form->Command1, diskLimit);
        QCOMPARE(h.desktop.questions.size(), untrusted || answer == Answer::CannotLock ? 0 : 1);

        if (answer == Answer::TargetMet)
            refusal =
                u"“鲜花”上次已采集到7个长尾词，已达到采集个数7，没有开始采集。要接着采集，请把采集个数改大，或改为0（不限）。"_s;
        if (answer == Answer::Cancel || !refusal.isEmpty()) { // nothing starts
            QCOMPARE(h.form->Command1->text(), kIdle);
            QVERIFY(!h.miner().Timer1.isActive());
            QCOMPARE(h.form->List3->count(), 7);
            QCOMPARE(h.form->Label4->text(), label4);
            QCOMPARE(readAll(kept), keptBytes);
            QCOMPARE(h.desktop.messages.size(), refusal.isEmpty() ? 1 : 2);
            if (!refusal.isEmpty())
                QCOMPARE(h.desktop.messages.last(), refusal);
            QCOMPARE(h.journals(), QStringList());
            return;
        }
        if (untrusted)
            QCOMPARE(h.form->Label4->text(), notice);
        else
            QCOMPARE(h.keptRuns(), QStringList()); // forgotten before the run's first query
        QCOMPARE(h.form->List3->count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);
        // A fresh run exactly as an undisturbed one; the untrusted file left the result alone.
        QCOMPARE(h.queried().mid(asked), m_undisturbedQueries);
        QCOMPARE(readAll(h.resultPath(kSeed)), m_undisturbedFile);
        // Ignored means left alone when a newer program wrote it; what is damaged is replaced.
        if (answer == Answer::Newer)
            QCOMPARE(readAll(kept), bytes);
        else
            QCOMPARE(h.keptRuns(), QStringList());
    }
};

QTEST_MAIN(ContinueTest)
#include "tst_continue.moc"
