#pragma once

// Shared pieces of the window and harvest tests: a desktop that answers for the user, a local
// search engine with canned suggestion pages, and a window wired to both.

#include "app/form8.h"
#include "testserver.h"
#include "text/codepage.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class RecordingDesktop final : public Desktop {
public:
    QStringList messages;
    QList<QUrl> opened;
    bool exitAnswer = false;
    bool askForReal = false; // the real exit question, for a test to answer through its buttons
    int exitQuestions = 0;
    bool openSucceeds = true;
    std::function<void()> onMessage; // runs when a message box would be shown
    QStringList questions;           // whether to continue a kept run
    ContinueChoice continueAnswer = ContinueChoice::Restart; // as every run began before

    void inform(QWidget *, const QString &text) override
    {
        messages.append(text);
        if (onMessage)
            onMessage();
    }
    bool confirmExit(QWidget *parent, const std::function<void()> &onOk) override
    {
        ++exitQuestions;
        if (askForReal)
            return Desktop::confirmExit(parent, onOk);
        if (exitAnswer)
            onOk();
        return exitAnswer;
    }
    ContinueChoice askContinue(QWidget *, const QString &text) override
    {
        questions.append(text);
        return continueAnswer;
    }
    std::optional<QStringList> seedLines; // the batch dialog's lines; none: cancelled
    std::optional<QStringList> askSeeds(QWidget *) override { return seedLines; }
    std::optional<QString> exclusionText; // what the exclusion dialog saves; none: cancelled
    QStringList exclusionShown;           // the words each dialog opened with
    std::optional<QString> askExclusionWords(QWidget *, const QString &words) override
    {
        exclusionShown << words;
        return exclusionText;
    }
    std::optional<ExportTarget> exportTarget; // the save dialog's answer; none: cancelled
    QStringList exportSuggested;
    std::optional<ExportTarget> askExportTarget(QWidget *, const QString &suggested) override
    {
        exportSuggested << suggested;
        return exportTarget;
    }
    bool open(const QUrl &url) override
    {
        opened.append(url);
        return openSucceeds;
    }
};

// A result page as the search engine sends it: GBK, suggestions behind the first-family marker.
inline QByteArray suggestionPage(const QStringList &suggestions)
{
    QString html = QStringLiteral("<html><body><div id=\"rs\">xn1 related");
    for (const QString &s : suggestions)
        html += QStringLiteral("<th><a class=\"xn1\">") + s + QStringLiteral("</a></th>");
    html += QStringLiteral("</div></body></html>");
    return toGbk(html);
}

inline QDateTime fixedClock()
{
    return QDateTime(QDate(2026, 12, 7), QTime(10, 5, 9));
}

struct Harness {
    QTemporaryDir dir;
    TestServer engine;
    RecordingDesktop desktop;
    QHash<QString, QStringList> pages; // keyword -> suggestions; others get an empty page
    QHash<QString, int> slowKeywords;  // keyword -> delay in ms
    std::function<void(const QString &)> onQuery; // called as each query arrives
    int quitCalls = 0;
    std::unique_ptr<Form8> form;

    Harness()
    {
        engine.listen();
        engine.setHandler([this](const QByteArray &target) {
            const QString keyword = TestServer::queryKeyword(target);
            if (onQuery)
                onQuery(keyword);
            TestServer::Response r;
            r.body = suggestionPage(pages.value(keyword));
            if (slowKeywords.contains(keyword)) {
                r.mode = TestServer::Response::Mode::Slow;
                r.delayMs = slowKeywords.value(keyword);
            }
            return r;
        });
        open();
    }

    // Starts the program (again) over this harness's folders and engine, the old window gone
    // first as after a crash; adjust may change the miner's options before.
    void open(const std::function<void(MinerOptions &)> &adjust = {})
    {
        Form8Options options;
        options.withBrowser = false;
        options.desktop = &desktop;
        options.quit = [this] { ++quitCalls; };
        options.miner.programDir = dir.path();
        options.miner.searchPrefix = engine.url(QStringLiteral("/s?wd="));
        options.miner.clock = fixedClock;
        options.miner.journalDir = journalDir();
        if (adjust)
            adjust(options.miner);
        form.reset();
        form = std::make_unique<Form8>(std::move(options));
    }

    Miner &miner() { return form->miner(); }
    QString journalDir() const { return dir.path() + QStringLiteral("/journal"); }
    QStringList journals() const
    {
        return QDir(journalDir()).entryList({QStringLiteral("*.journal")}, QDir::Files);
    }

    QStringList keptRuns() const
    {
        return QDir(journalDir()).entryList({QStringLiteral("*.kept")}, QDir::Files);
    }

    QStringList queried() const
    {
        QStringList keywords;
        for (const QByteArray &target : engine.requests())
            keywords.append(TestServer::queryKeyword(target));
        return keywords;
    }

    QString resultPath(const QString &seed) const
    {
        return dir.path() + QStringLiteral("/Keywords/") + QStringLiteral("关键词-") + seed +
               QStringLiteral(".txt");
    }

    // The result file decoded, split at CR LF (the last, empty piece dropped).
    QStringList resultLines(const QString &seed) const
    {
        QFile file(resultPath(seed));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = fromGbkWithFourByteForms(file.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};
