// Whole harvests through the window's handlers against a local search engine.

#include "harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace Qt::StringLiterals;

namespace {
const QString kIdle = u"开始采集"_s;
const QString kRunning = u"停止"_s;

QString header(const QString &seed, int n)
{
    return u"以下是与 {"_s + seed + u"} 相关长尾词    保存时间：2026/12/7 10:05:09     本次共"_s +
           QString::number(n) + u"条"_s;
}

// Starts a run whose ticks the test takes one by one.
void startByHand(Harness &h)
{
    h.form->Command1->click();
    h.miner().Timer1.stop();
}

void runToEnd(Harness &h)
{
    h.form->Command1->click();
    QTRY_COMPARE_WITH_TIMEOUT(h.form->Command1->text(), kIdle, 30000);
}
} // namespace

class MiningTest : public QObject {
    Q_OBJECT

private slots:
    void roadOfOneQuery()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花A"_s, u"鲜花B"_s, u"鲜花C"_s});
        Miner &m = h.miner();

        startByHand(h);
        QCOMPARE(h.form->Command1->text(), kRunning);
        QCOMPARE(m.Label2, u"0"_s);
        QCOMPARE(m.Label3, u"-1"_s);
        QCOMPARE(m.List2.ListIndex(), -1);

        m.Timer1_Timer(); // the seed
        QCOMPARE(h.queried(), QStringList{u"鲜花"_s});
        QCOMPARE(m.Label3, u"0"_s);
        QCOMPARE(m.List2.items(), (QStringList{u"鲜花A"_s, u"鲜花B"_s, u"鲜花C"_s}));
        QCOMPARE(m.Label2, u"3"_s);
        QCOMPARE(h.form->Label4->text(), QString()); // the seed's query shows no progress
        QCOMPARE(h.form->List3->count(), 3);

        const QStringList queue{u"鲜花A"_s, u"鲜花B"_s, u"鲜花C"_s};
        for (int k = 1; k <= 3; ++k) {
            m.Timer1_Timer();
            QCOMPARE(m.Label3, QString::number(k));
            QCOMPARE(m.List2.ListIndex(), k - 1);
            QCOMPARE(h.queried().last(), queue.at(k - 1));
            QCOMPARE(h.form->Label4->text(),
                     u"正在采集跟（"_s + queue.at(k - 1) + u"）相关的长尾词--目前采集3个"_s);
        }

        m.Timer1_Timer(); // 3 equals 3: the run closes without a query
        QCOMPARE(h.engine.requests().size(), 4);
        QCOMPARE(h.form->Label4->text(), u"全部查询完成，目前共挖掘到3个长尾词"_s);
        QCOMPARE(h.form->Command1->text(), kIdle);
        QCOMPARE(
            h.desktop.messages,
            QStringList{
                u"全部挖掘完成，本次共：3个长尾词，并保存成功！您可点击 [查看保存结果] 观看"_s});
        QCOMPARE(h.resultLines(u"鲜花"_s), (QStringList{header(u"鲜花"_s, 3), QString(), u"鲜花A"_s,
                                                        u"鲜花B"_s, u"鲜花C"_s}));
        QCOMPARE(m.Text1, u"0"_s);
    }

    void seedPageWithNothingClosesOnTheSecondTick()
    {
        Harness h;
        runToEnd(h);
        QCOMPARE(h.queried(), QStringList{u"软件站"_s});
        QCOMPARE(h.form->Label4->text(), u"全部查询完成，目前共挖掘到0个长尾词"_s);
        QCOMPARE(
            h.desktop.messages,
            QStringList{
                u"全部挖掘完成，本次共：0个长尾词，并保存成功！您可点击 [查看保存结果] 观看"_s});
        QVERIFY(QFileInfo(h.dir.path() + u"/Keywords"_s).isDir());
        QVERIFY(!QFileInfo::exists(h.resultPath(u"软件站"_s)));
        QVERIFY(!h.miner().Timer1.isActive());
    }

    void breadthFirstOverThreeLevels()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花a"_s, u"花b"_s, u"绿叶"_s});
        h.pages.insert(u"鲜花a"_s, {u"鲜c"_s, u"鲜花"_s, u"花b"_s});
        h.pages.insert(u"花b"_s, {u"花d"_s});
        h.pages.insert(u"鲜c"_s, {u"鲜e"_s, u"鲜花a"_s});
        runToEnd(h);
        const QStringList harvest{u"鲜花a"_s, u"花b"_s, u"鲜c"_s, u"鲜花"_s, u"花d"_s, u"鲜e"_s};
        QCOMPARE(h.miner().List2.items(), harvest);
        QCOMPARE(h.queried(), QStringList{u"鲜花"_s} + harvest); // the seed comes back: asked again
        QStringList shown;
        for (int i = 0; i < h.form->List3->count(); ++i)
            shown << h.form->List3->item(i)->text();
        QCOMPARE(shown, harvest);
        QCOMPARE(h.resultLines(u"鲜花"_s),
                 (QStringList{header(u"鲜花"_s, 6), QString()} + harvest));
    }

    // Excluded candidates are never asked, listed or saved; without words (no file, or an
    // empty one) the run asks and saves exactly what it always did.
    void exclusionWordsKeepCandidatesOut_data()
    {
        QTest::addColumn<QByteArray>("file"); // none: no file at all
        QTest::addColumn<QStringList>("queries");
        QTest::addColumn<QString>("excluded");
        const QStringList all{u"鲜花"_s,  u"鲜花店"_s,  u"鲜花Cake"_s,
                              u"鲜花A"_s, u"鲜花A店"_s, u"鲜花B"_s};
        QTest::newRow("no file") << QByteArray() << all << QString();
        QTest::newRow("empty file") << QByteArray("\r\n  \r\n") << all << QString();
        // GBK, blanks around, a word the seed holds (花) left out for its run.
        QTest::newRow("words") << toGbk(u" 店 \r\n\r\ncAkE\n花\n"_s)
                               << QStringList{u"鲜花"_s, u"鲜花A"_s, u"鲜花B"_s}
                               << u"（已排除3个）"_s;
    }
    void exclusionWordsKeepCandidatesOut()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, queries);
        QFETCH(QString, excluded);
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花店"_s, u"鲜花Cake"_s, u"鲜花A"_s});
        h.pages.insert(u"鲜花A"_s, {u"鲜花A店"_s, u"鲜花B"_s, u"鲜花店"_s});
        if (!file.isNull()) {
            QVERIFY(QDir(h.dir.path()).mkdir(u"Keywords"_s));
            QFile f(h.dir.filePath(u"Keywords/排除词.txt"_s));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        }
        runToEnd(h);
        QCOMPARE(h.queried(), queries);
        const QStringList harvest = queries.mid(1);
        QCOMPARE(h.resultLines(u"鲜花"_s), QStringList{header(u"鲜花"_s, int(harvest.size()))} +
                                               QStringList{QString()} + harvest);
        const QString n = QString::number(harvest.size());
        QCOMPARE(h.form->Label4->text(),
                 u"全部查询完成，目前共挖掘到"_s + n + u"个长尾词"_s + excluded);
        QCOMPARE(h.desktop.messages,
                 QStringList{u"全部挖掘完成，本次共："_s + n +
                             u"个长尾词，并保存成功！您可点击 [查看保存结果] 观看"_s + excluded});

        // Each row tells where it came from.
        const auto tip = [&](int row) {
            h.form->show();
            const QPoint at = h.form->List3->visualItemRect(h.form->List3->item(row)).center();
            QHelpEvent help(QEvent::ToolTip, at, h.form->List3->viewport()->mapToGlobal(at));
            QApplication::sendEvent(h.form->List3->viewport(), &help);
            return QToolTip::text();
        };
        QCOMPARE(tip(0), u"来自：鲜花 · 第1层"_s);
        QCOMPARE(tip(int(harvest.size()) - 1), u"来自：鲜花A · 第2层"_s);
    }

    // Words that cannot be read start nothing: a run would ask what the user meant to spare.
    void unreadableExclusionWordsStartNothing()
    {
        Harness h;
        QVERIFY(QDir(h.dir.path()).mkdir(u"Keywords"_s));
        QFile f(h.dir.filePath(u"Keywords/排除词.txt"_s));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray("\0\x01", 2)) == 2);
        f.close();
        h.form->Command1->click();
        QCOMPARE(h.form->Command1->text(), kIdle);
        QCOMPARE(h.desktop.messages.size(), 1);
        QVERIFY(h.desktop.messages.first().startsWith(u"排除词无法读取：不是文本文件\n"_s));
        QVERIFY(!h.miner().Timer1.isActive());
        QCOMPARE(h.engine.requests().size(), 0);
    }

    void candidateSpanningLinesIsNoKeyword()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.engine.setHandler([](const QByteArray &target) {
            TestServer::Response r;
            r.body = suggestionPage({});
            if (TestServer::queryKeyword(target) == u"鲜花"_s) {
                // The last link is cut short without "</a>": its piece runs on to the page's end.
                r.body =
                    suggestionPage({u"鲜花A"_s}) + toGbk(u"<a class=\"xn1\">鲜花B\r\n</div>\r\n"_s);
            }
            return r;
        });
        runToEnd(h);
        QCOMPARE(h.miner().List1.items(), QStringList{u"鲜花A"_s});
        QCOMPARE(h.form->List3->count(), 1);
        QCOMPARE(h.resultLines(u"鲜花"_s),
                 (QStringList{header(u"鲜花"_s, 1), QString(), u"鲜花A"_s}));
    }

    void targetEndsTheRunAtItsCandidate_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("10") << u"10"_s;
        QTest::newRow("blanks around") << u" 10 "_s;
        QTest::newRow("10.0") << u"10.0"_s;
    }
    void targetEndsTheRunAtItsCandidate()
    {
        QFETCH(QString, target);
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        QStringList first, second;
        for (int i = 1; i <= 6; ++i)
            first << u"鲜花"_s + QString::number(i);
        for (int i = 7; i <= 12; ++i)
            second << u"鲜花"_s + QString::number(i);
        h.pages.insert(u"鲜花"_s, first);
        h.pages.insert(u"鲜花1"_s, second);
        h.form->Combo1->setEditText(target);
        runToEnd(h);

        const QStringList ten = first + second.mid(0, 4);
        QCOMPARE(h.miner().List2.items(), ten);
        QCOMPARE(h.form->List3->count(), 10);
        QCOMPARE(h.queried(), (QStringList{u"鲜花"_s, u"鲜花1"_s}));
        QCOMPARE(h.miner().Text1, u"1"_s);
        QVERIFY(!h.miner().Timer1.isActive());
        QCOMPARE(h.form->Label4->text(), u"恭喜！已经完成您需要采集的10个长尾词任务"_s);
        QCOMPARE(
            h.desktop.messages,
            QStringList{u"恭喜！已完成您需要的10个长尾词任务！您可点击 [查看保存结果] 观看"_s});
        QCOMPARE(h.resultLines(u"鲜花"_s), (QStringList{header(u"鲜花"_s, 10), QString()} + ten));

        // A tick or a merge that still comes changes nothing.
        h.miner().Timer1_Timer();
        h.miner().Command2_Click();
        QCOMPARE(h.miner().List2.ListCount(), 10);
        QCOMPARE(h.engine.requests().size(), 2);
    }

    void targetsThatCannotBeMetSetNoLimit_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("0") << u"0"_s;
        QTest::newRow("letters") << u"abc"_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("fraction") << u"2.5"_s;
        QTest::newRow("negative") << u"-3"_s;
    }
    void targetsThatCannotBeMetSetNoLimit()
    {
        QFETCH(QString, target);
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花1"_s, u"鲜花2"_s, u"鲜花3"_s});
        h.pages.insert(u"鲜花2"_s, {u"鲜花4"_s, u"鲜花1"_s, u"鲜花5"_s});
        h.form->Combo1->setEditText(target);
        runToEnd(h);
        QCOMPARE(h.miner().List2.items(),
                 (QStringList{u"鲜花1"_s, u"鲜花2"_s, u"鲜花3"_s, u"鲜花4"_s, u"鲜花5"_s}));
        QCOMPARE(h.miner().Text1, u"0"_s);
        QCOMPARE(h.form->Label4->text(), u"全部查询完成，目前共挖掘到5个长尾词"_s);
    }

    void targetChangedDuringTheRunIsMetByKnownCandidates()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花1"_s, u"鲜花2"_s, u"鲜花3"_s});
        startByHand(h);
        h.miner().Timer1_Timer();
        QCOMPARE(h.miner().List2.ListCount(), 3);
        // Already past: a later page of nothing new meets it at the first known candidate.
        h.form->Combo1->setEditText(u"3"_s);
        h.miner().Timer1_Timer();
        QCOMPARE(h.miner().Text1, u"1"_s);
        QCOMPARE(h.desktop.messages.size(), 1);
        QVERIFY(h.desktop.messages.first().startsWith(u"恭喜！已完成您需要的3个"_s));
    }

    void stopWhileAPageIsAwaited()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花a"_s, u"鲜花b"_s, u"鲜花c"_s});
        h.pages.insert(u"鲜花a"_s, {u"鲜花late"_s});
        h.slowKeywords.insert(u"鲜花a"_s, 300);
        h.form->setCheck2Value(1); // append chosen by the user; a stop leaves overwrite behind
        h.onQuery = [&](const QString &keyword) {
            if (keyword == u"鲜花a"_s)
                QTimer::singleShot(0, h.form->Command1, &QPushButton::click);
        };
        startByHand(h);
        h.miner().Timer1_Timer();
        h.miner().Timer1_Timer(); // waits for 鲜花a; the stop is clicked meanwhile

        QCOMPARE(h.form->Command1->text(), kIdle);
        QVERIFY(!h.miner().Timer1.isActive());
        QCOMPARE(
            h.desktop.messages,
            QStringList{
                u"半途停止，软件自择“追加保存” 本次采集到3个长尾词！您可点击 [查看保存结果] 观看"_s});
        // The late page is dropped: the status line and the lists are those of the stop.
        QCOMPARE(h.form->Label4->text(), u"半途停止，目前共挖掘到3个长尾词"_s);
        QCOMPARE(h.miner().List2.items(), (QStringList{u"鲜花a"_s, u"鲜花b"_s, u"鲜花c"_s}));
        QCOMPARE(h.form->List3->count(), 3);
        QCOMPARE(h.resultLines(u"鲜花"_s), (QStringList{header(u"鲜花"_s, 3), QString(), u"鲜花a"_s,
                                                        u"鲜花b"_s, u"鲜花c"_s}));
        QVERIFY(h.form->Check3->isChecked());
        QVERIFY(!h.form->Check2->isChecked());

        // A second stop's save appends a second block.
        h.form->Command1->click();
        h.miner().Timer1.stop();
        h.miner().Timer1_Timer();
        h.form->Command1->click();
        QCOMPARE(h.resultLines(u"鲜花"_s).size(), 10);
    }

    void latePageNeverReachesTheNextRun()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花late"_s});
        h.slowKeywords.insert(u"鲜花"_s, 300);
        h.onQuery = [&](const QString &) {
            h.onQuery = nullptr;
            QTimer::singleShot(0, h.form->Command1, &QPushButton::click); // stop
            QTimer::singleShot(0, h.form->Command1, &QPushButton::click); // start again
        };
        startByHand(h);
        h.miner().Timer1_Timer();
        QCOMPARE(h.form->Command1->text(), kRunning);
        QCOMPARE(h.miner().List1.ListCount(), 0);
        QCOMPARE(h.miner().List2.ListCount(), 0);
        QCOMPARE(h.miner().Label3, u"-1"_s);
        QCOMPARE(h.miner().Label2, u"0"_s);
        h.miner().abandon();
    }

    void startStopStart()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花1"_s});
        startByHand(h);
        h.miner().Timer1_Timer();
        h.form->Command1->click();
        QCOMPARE(h.form->Label4->text(), u"半途停止，目前共挖掘到1个长尾词"_s);
        h.form->Command1->click();
        QCOMPARE(h.form->Command1->text(), kRunning);
        QCOMPARE(h.miner().List1.ListCount(), 0);
        QCOMPARE(h.miner().List2.ListCount(), 0);
        QCOMPARE(h.form->List3->count(), 0);
        QCOMPARE(h.miner().Label2, u"0"_s);
        QCOMPARE(h.miner().Label3, u"-1"_s);
        QVERIFY(h.miner().Timer1.isActive());
        h.miner().abandon();
    }

    void stopRightAfterStartSavesNothing()
    {
        Harness h;
        h.form->Command1->click();
        h.form->Command1->click();
        QCOMPARE(h.form->Label4->text(), u"半途停止，目前共挖掘到0个长尾词"_s);
        QCOMPARE(
            h.desktop.messages,
            QStringList{
                u"半途停止，软件自择“追加保存” 本次采集到0个长尾词！您可点击 [查看保存结果] 观看"_s});
        QVERIFY(!QFileInfo::exists(h.resultPath(u"软件站"_s)));
        QVERIFY(h.form->Check3->isChecked());
    }

    void seedEditedDuringTheRun()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花a"_s});
        h.pages.insert(u"鲜花a"_s, {u"玫瑰x"_s, u"鲜花b"_s, u"红玫瑰"_s});
        startByHand(h);
        h.miner().Timer1_Timer();
        h.form->Text2Edit->setText(u"玫瑰"_s);
        h.miner().Timer1_Timer();
        QCOMPARE(h.miner().List2.items(), (QStringList{u"鲜花a"_s, u"玫瑰x"_s, u"红玫瑰"_s}));
        h.form->Command1->click();
        QCOMPARE(h.resultLines(u"玫瑰"_s).first(), header(u"玫瑰"_s, 3));
        QVERIFY(!QFileInfo::exists(h.resultPath(u"鲜花"_s)));
    }

    void capitalFirstLetterIsLowered_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("used");
        QTest::newRow("ABC") << u"ABC"_s << u"abc"_s;
        QTest::newRow("Seo工具") << u"Seo工具"_s << u"seo工具"_s;
        QTest::newRow("seo工具ABC") << u"seo工具ABC"_s << u"seo工具ABC"_s;
        QTest::newRow("软件ABC") << u"软件ABC"_s << u"软件ABC"_s;
        QTest::newRow("spaces only") << u"  "_s << u"  "_s;
    }
    void capitalFirstLetterIsLowered()
    {
        QFETCH(QString, typed);
        QFETCH(QString, used);
        Harness h;
        h.form->Text2Edit->setText(typed);
        startByHand(h);
        QCOMPARE(h.form->Text2Edit->text(), used);
        QCOMPARE(h.form->Command1->text(), kRunning);
        h.miner().Timer1_Timer();
        QCOMPARE(h.queried(), QStringList{used});
    }

    void emptySeedIsRefused()
    {
        Harness h;
        h.pages.insert(u"软件站"_s, {u"软件1"_s});
        startByHand(h);
        h.miner().Timer1_Timer();
        h.form->Command1->click(); // stop
        h.desktop.messages.clear();
        h.form->Text2Edit->clear();
        h.form->Command1->click();
        QCOMPARE(h.desktop.messages, QStringList{u"关键字不能为空"_s});
        QCOMPARE(h.form->Command1->text(), kIdle);
        QVERIFY(!h.miner().Timer1.isActive());
        QCOMPARE(h.miner().List2.items(), QStringList{u"软件1"_s});
        QCOMPARE(h.form->List3->count(), 1);
    }

    void failedSaveIsReportedAsFailure_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("queue used up") << u"exhausted"_s;
        QTest::newRow("target reached") << u"target"_s;
        QTest::newRow("user stop") << u"stop"_s;
    }
    void failedSaveIsReportedAsFailure()
    {
        QFETCH(QString, end);
        Harness h;
        QFile blocker(h.dir.path() + u"/Keywords"_s);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花1"_s, u"鲜花2"_s});
        if (end == u"target"_s)
            h.form->Combo1->setEditText(u"2"_s);
        startByHand(h);
        h.miner().Timer1_Timer();
        if (end == u"stop"_s) {
            h.form->Command1->click();
        } else {
            while (h.form->Command1->text() == kRunning)
                h.miner().Timer1_Timer();
        }
        QCOMPARE(h.desktop.messages.size(), 1);
        const QString message = h.desktop.messages.first();
        QVERIFY2(message.startsWith(u"保存失败！"_s), qPrintable(message));
        QVERIFY(message.contains(QDir::toNativeSeparators(h.dir.path() + u"/Keywords"_s)));
        QVERIFY(!message.contains(u"成功"_s));
        QCOMPARE(h.form->Command1->text(), kIdle);
        QCOMPARE(h.miner().List2.ListCount(), 2); // the harvest is still there to copy
        QVERIFY(h.form->Check3->isChecked());
    }

    void keywordReachesTheEngineIntact_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::newRow("reserved characters") << u"a b&c#d+e%f=g?h"_s;
        QTest::newRow("chinese") << u"鲜花 快递"_s;
        QTest::newRow("outside the BMP") << u"😀花"_s;
    }
    void keywordReachesTheEngineIntact()
    {
        QFETCH(QString, seed);
        Harness h;
        h.form->Text2Edit->setText(seed);
        startByHand(h);
        h.miner().Timer1_Timer();
        QCOMPARE(h.queried(), QStringList{seed});
        QVERIFY(h.engine.requests().first().startsWith("/s?wd="));
    }

    void ticksNeverOverlap()
    {
        Harness h;
        h.form->Text2Edit->setText(u"鲜花"_s);
        h.pages.insert(u"鲜花"_s, {u"鲜花1"_s});
        h.slowKeywords.insert(u"鲜花"_s, 200); // some twenty timer intervals
        runToEnd(h);
        QCOMPARE(h.queried(), (QStringList{u"鲜花"_s, u"鲜花1"_s}));
    }

    void retryAfter_readsSecondsAndTheThreeHttpDates_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("waitMs"); // -1: unreadable
        QTest::newRow("seconds") << QByteArray("120") << qint64(120000);
        QTest::newRow("seconds, blanks around") << QByteArray(" 7 ") << qint64(7000);
        QTest::newRow("seconds, ten digits with leading zeros")
            << QByteArray("0000000001") << qint64(1000);
        QTest::newRow("zero, many digits") << QByteArray("000000000000") << qint64(0);
        QTest::newRow("more seconds than a 64-bit number holds")
            << QByteArray("99999999999999999999") << qint64(1000000000000);
        QTest::newRow("date") << QByteArray("Mon, 07 Dec 2026 10:05:39 GMT") << qint64(30000);
        QTest::newRow("RFC 850 date")
            << QByteArray("Monday, 07-Dec-26 10:05:39 GMT") << qint64(30000);
        QTest::newRow("asctime date") << QByteArray("Mon Dec  7 10:05:39 2026") << qint64(30000);
        QTest::newRow("date gone by") << QByteArray("Mon, 07 Dec 2026 09:00:00 GMT") << qint64(0);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("fraction") << QByteArray("1.5") << qint64(-1);
        QTest::newRow("words") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }
    void retryAfter_readsSecondsAndTheThreeHttpDates()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, waitMs);
        const QDateTime now(QDate(2026, 12, 7), QTime(10, 5, 9), Qt::UTC);
        QCOMPARE(retryAfterMs(value, now).value_or(-1), waitMs);
        QCOMPARE(retryAfterMs(value, now.toLocalTime()).value_or(-1), waitMs);
    }
};

QTEST_MAIN(MiningTest)
#include "tst_mining.moc"
