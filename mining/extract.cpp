#include "mining/extract.h"

#include <QStringView>

namespace {
constexpr qsizetype kMaxCandidates = 10;
} // namespace

QStringList cutCandidates(const QString &page)
{
    const QStringView text(page);
    const QStringView marker =
        text.contains(u"xn1") ? QStringView(u"xn1\">") : QStringView(u"xn0\">");

    QStringList candidates;
    qsizetype at = text.indexOf(marker);
    // One left-to-right pass: each piece runs from the end of one marker to the next marker.
    while (at >= 0 && candidates.size() < kMaxCandidates) {
        const qsizetype start = at + marker.size();
        const qsizetype next = text.indexOf(marker, start);
        const QStringView piece = text.mid(start, (next < 0 ? text.size() : next) - start);
        const qsizetype end = piece.indexOf(u"</a>");
        candidates.append((end < 0 ? piece : piece.left(end)).toString());
        at = next;
    }
    return candidates;
}

QString firstCharacter(const QString &keyword)
{
    if (keyword.isEmpty())
        return {};
    const bool pair =
        keyword.size() > 1 && keyword.at(0).isHighSurrogate() && keyword.at(1).isLowSurrogate();
    return keyword.left(pair ? 2 : 1);
}

QString lastCharacter(const QString &keyword)
{
    const qsizetype n = keyword.size();
    if (n == 0)
        return {};
    const bool pair =
        n > 1 && keyword.at(n - 1).isLowSurrogate() && keyword.at(n - 2).isHighSurrogate();
    return keyword.right(pair ? 2 : 1);
}

bool passesSeedTests(const QString &candidate, const QString &first, const QString &last,
                     bool wholeSeedRequired, const QString &seed)
{
    if (!candidate.contains(first) && !candidate.contains(last))
        return false;
    return !wholeSeedRequired || candidate.contains(seed);
}
