// The fast merge against the reference merge on candidate streams, targets and restarts that
// the input chooses: every observable must agree after every call.

#include "../fakeview.h"
#include "../reference_merge.h"
#include "fuzzinput.h"
#include "mining/miner.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Never destroyed: at exit Qt's own globals may already be gone.
QTemporaryDir *g_dir = nullptr;

QString targetText(FuzzInput &in, qsizetype found)
{
    const qsizetype near = found + in.byte() % 9 - 4;
    switch (in.byte() % 8) {
    case 0:
        return u"0"_s;
    case 1:
        return QString();
    case 2:
        return u"abc"_s;
    case 3:
        return u" %1 "_s.arg(near);
    case 4:
        return u"%1.5"_s.arg(near);
    case 5:
        return u"-1"_s;
    case 6:
        return u"%1e0"_s.arg(near);
    default:
        return QString::number(near);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzzAppAndFolder("fuzz_merge");
    return g_dir ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    FakeView view;
    view.combo1 = targetText(in, 0);
    MinerOptions options;
    options.programDir = g_dir->path();
    Miner miner(view, options);
    ReferenceMerge ref;
    ref.target = view.combo1;
    miner.Command1_Click();
    miner.Timer1.stop();
    qsizetype messagesBefore = 0; // the view's messages of earlier runs

    for (int call = 0; !in.atEnd() && call < 200; ++call) {
        const uint8_t op = in.byte();
        if (op < 0xF0) {
            for (int i = op % 12; i > 0; --i) {
                const QString candidate = in.word(3);
                miner.List1.AddItem(candidate);
                ref.list1.append(candidate);
            }
        } else if (op < 0xF8) {
            view.combo1 = targetText(in, ref.list3.size());
            ref.target = view.combo1;
        } else {
            // A stop (when running) and a new start: the merge begins afresh.
            if (view.caption == u"停止"_s)
                miner.Command1_Click();
            miner.Command1_Click();
            miner.Timer1.stop();
            messagesBefore = view.messages.size();
            const QString target = ref.target;
            ref = ReferenceMerge();
            ref.target = target;
            ref.label4 = view.label4; // a start leaves the stop's report in place
        }
        miner.Command2_Click();
        ref.command2();

        const QString where = u"call %1"_s.arg(call);
        FUZZ_CHECK(miner.List1.items() == ref.list1, where);
        FUZZ_CHECK(miner.List2.items() == ref.list2, where);
        FUZZ_CHECK(view.list3 == ref.list3, where);
        FUZZ_CHECK(miner.Label2 == ref.label2, where + u' ' + miner.Label2 + u' ' + ref.label2);
        FUZZ_CHECK(miner.Text1 == ref.text1, where);
        FUZZ_CHECK(!miner.Timer1.isActive(), where);
        FUZZ_CHECK(view.caption == ref.caption, where);
        FUZZ_CHECK(view.label4 == ref.label4, where + u'|' + view.label4 + u'|' + ref.label4);
        FUZZ_CHECK(view.messages.mid(messagesBefore) == ref.messages,
                   where + u'|' + view.messages.join(u'|') + u'|' + ref.messages.join(u'|'));
        for (const QString &k : ref.list2)
            FUZZ_CHECK(miner.IsKnownKeyword(k), k);
        FUZZ_CHECK(miner.IsKnownKeyword(QString()), where);
    }
    return 0;
}
