#pragma once

#include "storage/resultfile.h" // isKeywordText

#include <QString>
#include <QStringList>

// The related-search suggestions of a result page: pieces 1 to 10 of the page cut at the
// "xn1\">" marker (at "xn0\">" when the page has no "xn1" at all), each up to its first "</a>",
// taken verbatim. Empty pieces stay in the list as empty candidates.
QStringList cutCandidates(const QString &page);

// The first and the last character of a keyword: whole code points, so a surrogate pair is one
// character. Both are empty for an empty keyword.
QString firstCharacter(const QString &keyword);
QString lastCharacter(const QString &keyword);

// The seed tests every candidate must pass: the seed's first or last character, and the whole
// seed when required.
bool passesSeedTests(const QString &candidate, const QString &first, const QString &last,
                     bool wholeSeedRequired, const QString &seed);
