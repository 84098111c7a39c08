// Cutting suggestions out of arbitrary page text, and the seed tests, against their plain
// definitions: split at the marker, pieces 1 to 10, each up to its first end marker.

#include "fuzzinput.h"
#include "mining/extract.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

QStringList referenceCut(const QString &page)
{
    const QString marker = page.contains(u"xn1"_s) ? u"xn1\">"_s : u"xn0\">"_s;
    const QStringList pieces = page.split(marker);
    QStringList candidates;
    for (qsizetype n = 1; n < pieces.size() && n <= 10; ++n) {
        const qsizetype end = pieces.at(n).indexOf(u"</a>"_s);
        candidates.append(end < 0 ? pieces.at(n) : pieces.at(n).left(end));
    }
    return candidates;
}

// A keyword is written as one line: nothing in it may end a line, by any convention.
bool holdsLineEnd(const QString &s)
{
    for (const QChar c : s) {
        if (c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
            c == QChar(0x2028) || c == QChar(0x2029))
            return true;
    }
    return false;
}

bool isPair(const QString &s)
{
    return s.size() == 2 && s.at(0).isHighSurrogate() && s.at(1).isLowSurrogate();
}

void checkCharacters(const QString &seed)
{
    const QString first = firstCharacter(seed);
    const QString last = lastCharacter(seed);
    FUZZ_CHECK(first.isEmpty() == seed.isEmpty() && last.isEmpty() == seed.isEmpty(), seed);
    FUZZ_CHECK(seed.startsWith(first) && seed.endsWith(last), seed);
    // One character: one code unit, or a whole surrogate pair, never half of one.
    FUZZ_CHECK(first.size() <= 1 || isPair(first), seed);
    FUZZ_CHECK(last.size() <= 1 || isPair(last), seed);
    if (seed.size() >= 2) {
        FUZZ_CHECK(isPair(first) == isPair(seed.left(2)), seed);
        FUZZ_CHECK(isPair(last) == isPair(seed.right(2)), seed);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t flags = in.byte();
    const bool wholeSeed = flags & 2;
    const int seedLength = in.byte() % 8;
    const QString text = in.restAsText(flags & 1);
    const QString seed = text.left(seedLength);
    const QString page = text.mid(seed.size());

    const QStringList candidates = cutCandidates(page);
    FUZZ_CHECK(candidates.size() <= 10, page);
    FUZZ_CHECK(candidates == referenceCut(page), page);
    const QString marker = page.contains(u"xn1"_s) ? u"xn1\">"_s : u"xn0\">"_s;
    for (const QString &c : candidates) {
        FUZZ_CHECK(!c.contains(u"</a>"_s), c);
        FUZZ_CHECK(page.contains(marker + c), c);
        if (isKeywordText(c))
            FUZZ_CHECK(!c.isEmpty() && !holdsLineEnd(c), c);
    }

    checkCharacters(seed);
    const QString first = firstCharacter(seed);
    const QString last = lastCharacter(seed);
    for (const QString &c : candidates) {
        const bool expected =
            (c.contains(first) || c.contains(last)) && (!wholeSeed || c.contains(seed));
        FUZZ_CHECK(passesSeedTests(c, first, last, wholeSeed, seed) == expected, c);
    }
    return 0;
}
