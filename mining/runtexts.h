#pragma once

#include "mining/refusal.h"
#include "mining/runrecord.h"
#include "storage/keptruns.h"
#include "storage/resultfile.h"

#include <QString>
#include <optional>

// What a run says, in its status line and its boxes, made from what it counted.

// A run's figures, as its end reports them.
struct RunFigures {
    qsizetype queries = 0; // came back, with or without a page
    qsizetype failedQueries = 0;
    QString lastFailure; // its reason
    int refusals = 0;
    qint64 heldMs = 0;      // waited over the run
    bool retried = true;    // every refusal was asked again
    bool paced = false;     // a query was asked slower than full speed
    qint64 answeringMs = 0; // from the start to the last answer
    qsizetype harvested = 0;
    std::optional<qsizetype> excluded; // candidates the exclusion words kept out, if any words
};

// Queries a second in words: whole numbers from ten on, tenths below.
QString rateText(double rate);
QString holdText(const Refusal &refusal, qint64 waitMs, const QString &keyword);
QString continueQuestion(const QString &seed, const JournalContents &run);
QString keptRunNotice(const KeptRun &kept);
// What a start that asks about a kept run says: target is the target count as typed.
QString startNotice(StartPlan::Say say, const QString &seed, const KeptRun &kept,
                    const QString &target, const QString &journalDir);
// "保存失败！" with what went wrong and the file.
QString saveFailureText(const SaveResult &result);
// "（已排除N个）" when the run had exclusion words.
QString exclusionSummary(const RunFigures &run);
// An end's status line and message, as the run's failed queries and waits make them.
QString endStatus(const RunFigures &run, const QString &usual);
QString endMessage(const RunFigures &run, const SaveResult &saved, const QString &success);
