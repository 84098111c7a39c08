// The real window shows the bundled page in its strip, laid out as it was drawn for the strip.

#include "app/browser.h"
#include "app/publisher.h"
#include "harness.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QTest>
#include <QTextFrame>
#include <QTextTable>

using namespace Qt::StringLiterals;

class BrowserWindowTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheToolsPageAsDrawn()
    {
        RecordingDesktop desktop;
        QTemporaryDir dir;
        Form8Options options;
        options.desktop = &desktop;
        options.miner.programDir = dir.path();
        Form8 form(std::move(options));
        auto *browser = qobject_cast<Browser *>(form.WebBrowser1);
        QVERIFY(browser);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(browser->source(), QUrl(QString::fromLatin1(publisher::kToolsPage)));
        QCOMPARE(browser->documentTitle(), u"Tailspade 关键词工具"_s);

        // In the strip, the frame's area (the frame hides the view's left and top 8 pixels): the
        // green rule runs its whole width, the tips start where they were drawn, and the
        // explanation breaks its first line before 小、 as drawn.
        const QImage strip = form.Frame2->grab().toImage();
        const QColor green(0x2e, 0x8b, 0x57);
        QCOMPARE(strip.pixelColor(0, 0), green);
        QCOMPARE(strip.pixelColor(strip.width() - 1, 1), green);
        QTextTable *table = nullptr;
        for (QTextFrame *frame : browser->document()->rootFrame()->childFrames())
            table = table ? table : qobject_cast<QTextTable *>(frame);
        QVERIFY(table && table->columns() == 2);
        const QTextBlock tips = table->cellAt(0, 1).firstCursorPosition().block();
        const QRectF tipsRect = browser->document()->documentLayout()->blockBoundingRect(tips);
        QCOMPARE(tipsRect.left() + browser->x(), 274.0);
        const QTextBlock what = table->cellAt(0, 0).firstCursorPosition().block();
        QCOMPARE(what.layout()->lineCount(), 2);
        QCOMPARE(what.text().left(what.layout()->lineAt(0).textLength()),
                 u"长尾词：搜索量小、更具体的搜索短语，竞争"_s);
    }
};

QTEST_MAIN(BrowserWindowTest)
#include "tst_browser_window.moc"
