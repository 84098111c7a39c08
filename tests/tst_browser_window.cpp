// The real window with its embedded browser starts, shows the bundled page and closes cleanly.

#include "app/browser.h"
#include "app/platform.h"
#include "app/publisher.h"
#include "harness.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class BrowserWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsShowsTheToolsPageAndCloses()
    {
        RecordingDesktop desktop;
        int quits = 0;
        QTemporaryDir dir;
        Form8Options options;
        options.desktop = &desktop;
        options.quit = [&] { ++quits; };
        options.miner.programDir = dir.path();
        auto form = std::make_unique<Form8>(std::move(options));

        auto *browser = qobject_cast<Browser *>(form->WebBrowser1);
        QVERIFY(browser && browser->page());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        // The title comes from the bundled page only once it has loaded.
        QTRY_COMPARE_WITH_TIMEOUT(browser->page()->property("title").toString(),
                                  u"Tailspade 关键词工具"_s, 60000);
        QCOMPARE(browser->page()->property("url").toUrl(),
                 QUrl(QString::fromLatin1(publisher::kToolsPage)));
        // Its native window is nested in the frame's, which clips it; the others stay drawn.
        QCOMPARE(browser->nativeParentWidget(), form->Frame2);
        QCOMPARE(form->Frame2->nativeParentWidget(), form.get());
        QVERIFY(!form->List3->internalWinId() && !form->Label4->internalWinId());

        desktop.exitAnswer = true;
        QVERIFY(form->close());
        QCOMPARE(quits, 1);
        form.reset(); // the browser goes down with the window
    }
};

int main(int argc, char *argv[])
{
    prepareBrowserEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    BrowserWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browser_window.moc"
