// The result list of a long harvest: rows appended out of sight are only counted until
// something could show them. Whatever it shows must be what a full layout shows.

#include "harness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// What the user sees of the list (its pixels first, before anything could lay it out) and
// where the scroll bars and positions lead.
QVariantList shown(ResultList &list)
{
    QVariantList s;
    s << list.grab().toImage();
    for (const QScrollBar *bar : {list.verticalScrollBar(), list.horizontalScrollBar()}) {
        s << bar->minimum() << bar->maximum() << bar->pageStep() << bar->value()
          << bar->isVisible();
        // A bar without range never moves, so its step cannot be seen (QListView sets the
        // horizontal one from the width of the last row).
        if (bar->maximum() > bar->minimum())
            s << bar->singleStep();
    }
    s << list.viewport()->geometry();
    const int top = list.verticalScrollBar()->value();
    for (int row = top;
         row < std::min(list.count(), top + list.verticalScrollBar()->pageStep() + 2); ++row)
        s << list.visualItemRect(list.item(row));
    const QRect area = list.viewport()->rect();
    for (const QPoint &p : {area.topLeft(), area.center(), area.bottomLeft() - QPoint(0, 1)})
        s << list.indexAt(p).row();
    return s;
}

// The list as shown, and as a full layout of every row shows it.
void compareWithFullLayout(ResultList &list)
{
    const QVariantList before = shown(list);
    list.doItemsLayout();
    QCOMPARE(before, shown(list));
}

// One tick's worth of events: the list's deferred work runs.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

struct Shown {
    Harness h;
    Form8 &f = *h.form;
    ResultList &list = *h.form->List3;

    Shown()
    {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
    }
    void add(int from, int to, const QString &stem = u"鲜花"_s)
    {
        for (int i = from; i < to; ++i) {
            f.List3AddItem(stem + QString::number(i));
            if (i % 9 == 8)
                settle();
        }
        settle();
    }
};

} // namespace

class ResultListTest : public QObject {
    Q_OBJECT

private slots:
    void longListShowsWhatAFullLayoutShows()
    {
        Shown s;
        for (const int upTo : {5, 20, 150, 1200}) {
            s.add(s.list.count(), upTo);
            QCOMPARE(s.list.count(), upTo);
            compareWithFullLayout(s.list);
        }
        QVERIFY(s.list.verticalScrollBar()->maximum() > 0);
    }

    void scrollingReachesRowsAddedOutOfSight()
    {
        Shown s;
        s.add(0, 500);
        QScrollBar *bar = s.list.verticalScrollBar();
        bar->setValue(bar->maximum());
        const QRect last = s.list.visualItemRect(s.list.item(499));
        QVERIFY(s.list.viewport()->rect().contains(last));
        QCOMPARE(s.list.indexAt(last.center()).row(), 499);
        QCOMPARE(s.list.item(499)->text(), u"鲜花499"_s);

        // Rows added while the end is in sight show at once.
        s.add(500, 520);
        bar->setValue(bar->maximum());
        QCOMPARE(s.list.indexAt(s.list.visualItemRect(s.list.item(519)).center()).row(), 519);
        compareWithFullLayout(s.list);
    }

    void keyboardAndMouseReachTheLastRow()
    {
        Shown s;
        s.add(0, 300);
        QTest::keyClick(&s.list, Qt::Key_Down); // without a current row any key takes the first
        QCOMPARE(s.list.currentRow(), 0);
        QTest::keyClick(&s.list, Qt::Key_End);
        QCOMPARE(s.list.currentRow(), 299);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"鲜花299"_s);
        QCOMPARE(s.f.Label5->text(), u"长尾词：鲜花299  复制成功"_s);

        s.add(300, 400);
        QTest::keyClick(&s.list, Qt::Key_PageUp);
        const int row = s.list.currentRow();
        QVERIFY(row < 299);
        const QRect rect = s.list.visualItemRect(s.list.item(row + 1));
        QVERIFY(s.list.viewport()->rect().contains(rect.center()));
        QTest::mouseClick(s.list.viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(s.list.currentRow(), row + 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), s.list.item(row + 1)->text());
        compareWithFullLayout(s.list);
    }

    void tallOrWideRowOutOfSightChangesTheLayout()
    {
        Shown s;
        s.add(0, 200);
        // QListView sizes uniform rows after the last one: a two-line row makes every row tall.
        s.f.List3AddItem(u"两行\n文字"_s);
        settle();
        compareWithFullLayout(s.list);
        s.add(201, 230);
        compareWithFullLayout(s.list);

        s.f.List3AddItem(QString(300, u'花'));
        settle();
        compareWithFullLayout(s.list);
        s.add(231, 260);
        compareWithFullLayout(s.list);
    }

    void clearingStartsAfresh()
    {
        Shown s;
        s.add(0, 400);
        s.f.List3Clear();
        settle();
        QCOMPARE(s.list.verticalScrollBar()->maximum(), 0);
        s.add(0, 3, u"玫瑰"_s);
        compareWithFullLayout(s.list);
        s.add(3, 250, u"玫瑰"_s);
        compareWithFullLayout(s.list);
        QCOMPARE(s.list.item(249)->text(), u"玫瑰249"_s);
    }
};

QTEST_MAIN(ResultListTest)
#include "tst_resultlist.moc"
