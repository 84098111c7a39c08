#include "mining/runrecord.h"

#include <cmath>

std::optional<double> targetCount(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

KeptAtStart keptAtStart(const KeptRun &kept, const QString &target)
{
    switch (kept.status) {
    case KeptRun::Status::None:
        return KeptAtStart::None;
    case KeptRun::Status::Ok: {
        const std::optional<double> n = targetCount(target);
        const bool met =
            n && *n >= 1 && *n == std::floor(*n) && *n <= double(kept.run.keywords.size());
        return met ? KeptAtStart::TargetMet : KeptAtStart::Usable;
    }
    case KeptRun::Status::InUse:
        return KeptAtStart::InUse;
    case KeptRun::Status::Unlockable:
        return KeptAtStart::Unlockable;
    case KeptRun::Status::Unreadable:
        return KeptAtStart::Damaged;
    case KeptRun::Status::Newer:
        return KeptAtStart::Newer;
    }
    return KeptAtStart::None;
}

bool asksToContinue(KeptAtStart kept)
{
    return kept == KeptAtStart::Usable || kept == KeptAtStart::TargetMet;
}

StartPlan planStart(KeptAtStart kept, ContinueChoice answer, JournalStart journal)
{
    using Run = StartPlan::Run;
    using Say = StartPlan::Say;
    switch (kept) {
    case KeptAtStart::None:
    case KeptAtStart::InUse: // the other copy goes on with it; this one starts afresh
        return {Run::Fresh, Say::Nothing, false};
    case KeptAtStart::Unlockable: // no telling whether another copy holds it
        return {Run::None, Say::Unlockable, false};
    case KeptAtStart::Damaged: // replaced by this run's, should it keep one
        return {Run::Fresh, Say::Damaged, false};
    case KeptAtStart::Newer: // left alone
        return {Run::Fresh, Say::Newer, false};
    case KeptAtStart::Usable:
    case KeptAtStart::TargetMet:
        break;
    }
    switch (answer) {
    case ContinueChoice::Cancel:
        return {};
    case ContinueChoice::Restart:
        return {Run::Fresh, Say::Nothing, true};
    case ContinueChoice::Continue:
        break;
    }
    if (kept == KeptAtStart::TargetMet)
        return {Run::None, Say::TargetMet, false};
    switch (journal) {
    case JournalStart::Started:
        break;
    case JournalStart::NoRoom: // without a journal the kept run could only go wrong
        return {Run::None, Say::NoRoom, false};
    case JournalStart::Changed:
        return {Run::None, Say::Changed, false};
    }
    return {Run::Continued, Say::Nothing, false};
}

AfterEnd planEnd(HarvestEnd end, bool continued, bool saved, bool leftToAsk)
{
    if (end == HarvestEnd::AllFailed)
        return continued ? AfterEnd::GiveBack : AfterEnd::Leave;
    if (end == HarvestEnd::NothingHarvested) // nothing to save, nothing to go on from
        return AfterEnd::Leave;
    if (!saved)
        return AfterEnd::Stay;
    return leftToAsk ? AfterEnd::Keep : AfterEnd::Finish;
}

QString seedAsRun(const QString &typed)
{
    return !typed.isEmpty() && typed.at(0) >= u'A' && typed.at(0) <= u'Z' ? typed.toLower() : typed;
}
