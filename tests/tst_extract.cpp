// Cutting suggestions out of a result page and the seed tests, through the window's controls.

#include "harness.h"
#include "mining/exclusion.h"
#include "mining/extract.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString M1 = u"xn1\">"_s;
const QString M0 = u"xn0\">"_s;

QString markers(const QString &marker, const QStringList &pieces)
{
    QString page = u"<head>"_s;
    for (const QString &p : pieces)
        page += marker + p;
    return page;
}
} // namespace

class ExtractTest : public QObject {
    Q_OBJECT

private slots:
    // A word anywhere in the candidate, also where another word began to match.
    void exclusionWordsMatchAnywhere_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("candidate");
        QTest::addColumn<bool>("excluded");
        const QStringList words{u"招聘"_s, u"招聘会场"_s, u"聘会"_s, u"APP"_s, u"Ｑｑ"_s};
        QTest::newRow("whole word") << words << u"鲜花招聘"_s << true;
        QTest::newRow("inside a longer word's start")
            << QStringList{u"招聘会场"_s, u"聘会"_s} << u"招聘会议"_s << true;
        QTest::newRow("the longer word's start alone") << words << u"招鲜花聘"_s << false;
        QTest::newRow("Latin in either case") << words << u"鲜花app下载"_s << true;
        QTest::newRow("full-width Latin in either case") << words << u"鲜花ｑＱ"_s << true;
        QTest::newRow("no word") << words << u"鲜花店"_s << false;
        QTest::newRow("the seed's own words are left out")
            << QStringList{u"鲜花"_s, u"鲜"_s} << u"鲜花店"_s << false;
        QTest::newRow("blank lines and blanks around")
            << QStringList{u""_s, u"  店 "_s} << u"鲜花店"_s << true;
    }
    void exclusionWordsMatchAnywhere()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, candidate);
        QFETCH(bool, excluded);
        QCOMPARE(ExclusionWords(words, u"鲜花"_s).excludes(candidate), excluded);
    }

    void appleTable_data()
    {
        QTest::addColumn<bool>("wholeSeed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("check1 off")
            << false << QStringList{u"apple pie"_s, u"green tea"_s, u"pineapple jam"_s};
        QTest::newRow("check1 on") << true << QStringList{u"apple pie"_s, u"pineapple jam"_s};
    }
    void appleTable()
    {
        QFETCH(bool, wholeSeed);
        QFETCH(QStringList, expected);
        Harness h;
        h.form->Text2Edit->setText(u"apple"_s);
        h.form->Check1->setChecked(wholeSeed);
        const QString page =
            markers(M1, {u"apple pie</a><td>more"_s, u"bird song</a>x"_s, u"green tea</a>y"_s,
                         u"pineapple jam</a>z"_s, u"</a> the rest of the page"_s});
        h.miner().ExtractRelatedKeywords(page, u"a"_s, u"e"_s);
        QCOMPARE(h.miner().List1.items(), expected);
        QCOMPARE(h.miner().Label1, QString::number(expected.size()));

        // A second page appends behind the first, repeats included.
        h.miner().ExtractRelatedKeywords(page, u"a"_s, u"e"_s);
        QCOMPARE(h.miner().List1.items(), expected + expected);
        QCOMPARE(h.miner().Label1, QString::number(2 * expected.size()));
    }

    void cutting_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("empty page") << QString() << QStringList{};
        QTest::newRow("no marker at all") << u"<html>xn2\">a</a></html>"_s << QStringList{};
        QTest::newRow("fallback family without xn1")
            << markers(M0, {u"a</a>"_s, u"b</a>"_s}) << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("xn1 elsewhere hides the fallback markers")
            << (u"<div class=xn1>"_s + markers(M0, {u"a</a>"_s, u"b</a>"_s})) << QStringList{};
        QTest::newRow("first family wins over fallback")
            << (markers(M1, {u"a</a>"_s}) + M0 + u"b</a>"_s) << QStringList{u"a"_s};
        QStringList eleven;
        for (int i = 1; i <= 11; ++i)
            eleven << QString::number(i) + u"</a>"_s;
        QStringList ten;
        for (int i = 1; i <= 10; ++i)
            ten << QString::number(i);
        QTest::newRow("only pieces 1 to 10") << markers(M1, eleven) << ten;
        QTest::newRow("piece without end marker runs to the next marker")
            << markers(M1, {u"open <b>tail"_s, u"next</a>"_s})
            << QStringList{u"open <b>tail"_s, u"next"_s};
        QTest::newRow("last piece without end marker runs to the end")
            << markers(M1, {u"a</a>"_s, u"tail of page"_s})
            << QStringList{u"a"_s, u"tail of page"_s};
        QTest::newRow("blanks and markup verbatim")
            << markers(M1, {u"  <em>鲜花</em> &amp; 礼品 </a>"_s})
            << QStringList{u"  <em>鲜花</em> &amp; 礼品 "_s};
        QTest::newRow("empty pieces stay as empty candidates")
            << (u"xn1\">xn1\"></a>xn1\">"_s) << QStringList{QString(), QString(), QString()};
        QTest::newRow("marker split by other text is no marker")
            << u"xn1\" >a</a>"_s << QStringList{};
    }
    void cutting()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, expected);
        QCOMPARE(cutCandidates(page), expected);
    }

    void emptyCandidatesAreNeverAppended()
    {
        Harness h;
        h.miner().ExtractRelatedKeywords(u"xn1\">xn1\"></a>xn1\">"_s, u"软"_s, u"站"_s);
        QCOMPARE(h.miner().List1.ListCount(), 0);
        QCOMPARE(h.miner().Label1, u"0"_s);
    }

    void seedCharacters_data()
    {
        QTest::addColumn<QString>("seed");
        QTest::addColumn<bool>("wholeSeed");
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QStringList>("accepted");

        QTest::newRow("first or last character")
            << u"鲜花"_s << false << QStringList{u"鲜果"_s, u"玫瑰花"_s, u"绿叶"_s}
            << QStringList{u"鲜果"_s, u"玫瑰花"_s};
        QTest::newRow("case-sensitive")
            << u"seo"_s << false << QStringList{u"SEO"_s, u"tools"_s} << QStringList{u"tools"_s};
        QTest::newRow("whole seed required, character test still made")
            << u"鲜花"_s << true << QStringList{u"鲜花店"_s, u"鲜果"_s, u"买鲜花"_s}
            << QStringList{u"鲜花店"_s, u"买鲜花"_s};
        QTest::newRow("empty seed lets every non-empty candidate through")
            << QString() << true << QStringList{u"a"_s, u"鲜花"_s}
            << QStringList{u"a"_s, u"鲜花"_s};
        // 😀 and 😁 share their high surrogate: a code-unit test would wrongly accept 😁.
        QTest::newRow("first character outside the BMP is one character")
            << u"😀鲜"_s << false << QStringList{u"😁x"_s, u"a😀b"_s, u"鲜果"_s}
            << QStringList{u"a😀b"_s, u"鲜果"_s};
        QTest::newRow("last character outside the BMP is one character")
            << u"鲜😀"_s << false << QStringList{u"x😁"_s, u"😀"_s} << QStringList{u"😀"_s};
    }
    void seedCharacters()
    {
        QFETCH(QString, seed);
        QFETCH(bool, wholeSeed);
        QFETCH(QStringList, candidates);
        QFETCH(QStringList, accepted);
        Harness h;
        h.form->Text2Edit->setText(seed);
        h.form->Check1->setChecked(wholeSeed);
        QStringList pieces;
        for (const QString &c : candidates)
            pieces << c + u"</a>"_s;
        h.miner().ExtractRelatedKeywords(markers(M1, pieces), firstCharacter(seed),
                                         lastCharacter(seed));
        QCOMPARE(h.miner().List1.items(), accepted);
    }

    void characterHelpers()
    {
        QCOMPARE(firstCharacter(u"😀鲜"_s), u"😀"_s);
        QCOMPARE(lastCharacter(u"鲜😀"_s), u"😀"_s);
        QCOMPARE(firstCharacter(u"花"_s), u"花"_s);
        QCOMPARE(lastCharacter(u"花"_s), u"花"_s);
        QCOMPARE(firstCharacter(QString()), QString());
        // A lone surrogate is taken as it stands, not paired with its neighbour.
        const QString lone = QString(QChar(0xDC00)) + u"a"_s;
        QCOMPARE(firstCharacter(lone), QString(QChar(0xDC00)));
    }

    void hostilePagesAreHarmless_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("expectedCandidates");
        QString big;
        big.reserve(4 << 20);
        QRandomGenerator rng(7);
        while (big.size() < (4 << 20))
            big += QChar(u'a' + rng.bounded(26));
        QTest::newRow("4 MiB without markers") << big << 0;
        QTest::newRow("1 MiB of markers") << M1.repeated((1 << 20) / M1.size()) << 10;
        QString invalid;
        for (int i = 0; i < 1000; ++i)
            invalid += QChar(0xD800 + i % 2048) + M1;
        QTest::newRow("lone surrogates") << invalid << 10;
    }
    void hostilePagesAreHarmless()
    {
        QFETCH(QString, page);
        QFETCH(int, expectedCandidates);
        QCOMPARE(cutCandidates(page).size(), expectedCandidates);
        Harness h;
        h.miner().ExtractRelatedKeywords(page, u"a"_s, u"b"_s);
        QVERIFY(h.miner().List1.ListCount() <= expectedCandidates);
    }

    void keywordListOperations()
    {
        KeywordList list;
        QCOMPARE(list.ListIndex(), -1);
        QCOMPARE(list.List(0), QString()); // one past the end of an empty list
        list.AddItem(u"a"_s);
        list.AddItem(u"b"_s);
        list.AddItem(u"a"_s); // repeats are kept
        QCOMPARE(list.ListCount(), 3);
        QCOMPARE(list.List(2), u"a"_s);
        QCOMPARE(list.List(3), QString());
        QVERIFY(list.setListIndex(1));
        QVERIFY(!list.setListIndex(3)); // refused, selection stays
        QVERIFY(!list.setListIndex(-2));
        QCOMPARE(list.ListIndex(), 1);
        list.AddItem(u"c"_s); // adding leaves the selection alone
        QCOMPARE(list.ListIndex(), 1);
        list.Clear();
        QCOMPARE(list.ListCount(), 0);
        QCOMPARE(list.ListIndex(), -1);
    }
};

QTEST_MAIN(ExtractTest)
#include "tst_extract.moc"
