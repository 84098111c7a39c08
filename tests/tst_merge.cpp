// The fast merge against the reference merge, on random candidate streams with targets that
// change during the run: every observable must agree after every call.

#include "fakeview.h"
#include "mining/miner.h"
#include "reference_merge.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// A harvest without a window, saving into a folder of its own.
struct Headless {
    QTemporaryDir dir;
    FakeView view;
    Miner miner{view, [this] {
                    MinerOptions options;
                    options.programDir = dir.path();
                    return options;
                }()};
};
} // namespace

class MergeTest : public QObject {
    Q_OBJECT

private slots:
    void fastMergeMatchesReference_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 s = 1; s <= 40; ++s)
            QTest::newRow(qPrintable(u"stream %1"_s.arg(s))) << s;
    }
    void fastMergeMatchesReference()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        Headless h;
        FakeView &view = h.view;
        Miner &miner = h.miner;
        ReferenceMerge ref;

        miner.Command1_Click();
        miner.Timer1.stop();
        ref.target = view.combo1;

        // A small pool makes repeats common; the empty text stands for an empty candidate.
        const int pool = 5 + int(rng.bounded(60));
        const int calls = 20 + int(rng.bounded(60));
        for (int call = 0; call < calls; ++call) {
            const int fresh = int(rng.bounded(13));
            for (int i = 0; i < fresh; ++i) {
                const int id = int(rng.bounded(pool + 1));
                const QString candidate = id == pool ? QString() : u"词"_s + QString::number(id);
                miner.List1.AddItem(candidate);
                ref.list1.append(candidate);
            }
            if (rng.bounded(4) == 0) {
                const QStringList targets{u"0"_s,  QString(), u"abc"_s, u" %1 "_s,
                                          u"%1"_s, u"%1.5"_s, u"-1"_s};
                QString t = targets.at(int(rng.bounded(targets.size())));
                const int near = int(ref.list3.size()) + int(rng.bounded(9)) - 4;
                t = t.contains(u'%') ? t.arg(near) : t;
                view.combo1 = t;
                ref.target = t;
            }
            miner.Command2_Click();
            ref.command2();

            const QString where = u"stream %1 call %2"_s.arg(seed).arg(call);
            QVERIFY2(miner.List2.items() == ref.list2, qPrintable(where));
            QVERIFY2(view.list3 == ref.list3, qPrintable(where));
            QVERIFY2(miner.Label2 == ref.label2 || (ref.list1.isEmpty() && call == 0),
                     qPrintable(where));
            QVERIFY2(miner.Text1 == ref.text1, qPrintable(where));
            QVERIFY2(miner.Timer1.isActive() == false, qPrintable(where));
            QVERIFY2(view.caption == ref.caption, qPrintable(where));
            QVERIFY2(view.label4 == ref.label4, qPrintable(where));
            QVERIFY2(view.messages == ref.messages, qPrintable(where));
        }
    }

    void emptyCandidateListLeavesLabel2Alone()
    {
        Headless h;
        Miner &miner = h.miner;
        miner.Label2 = u"7"_s;
        miner.Command2_Click();
        QCOMPARE(miner.Label2, u"7"_s);
    }

    void knownKeywords()
    {
        Headless h;
        Miner &miner = h.miner;
        miner.Command1_Click();
        miner.Timer1.stop();
        for (const QString &c : {u"Seo"_s, u"seo"_s, u" seo"_s, u"seo"_s, QString()})
            miner.List1.AddItem(c);
        miner.Command2_Click();
        // Case and blanks make different keywords; repeats and the empty text are known.
        QCOMPARE(miner.List2.items(), (QStringList{u"Seo"_s, u"seo"_s, u" seo"_s}));
        QVERIFY(miner.IsKnownKeyword(QString()));
        QVERIFY(miner.IsKnownKeyword(u"seo"_s));
        QVERIFY(!miner.IsKnownKeyword(u"SEO"_s));
    }
};

QTEST_MAIN(MergeTest)
#include "tst_merge.moc"
