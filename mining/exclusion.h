#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

struct SaveResult;

// The words a harvest leaves out (排除词): a candidate that holds any of them anywhere never
// enters the harvest. Latin letters match in either case. A candidate is read once however
// many words there are: the words are one automaton (Aho-Corasick).
class ExclusionWords final {
public:
    ExclusionWords() = default;
    // One word a line, blanks around it and blank lines dropped. Words the seed holds are left
    // out: they would exclude the seed and every keyword about it.
    ExclusionWords(const QStringList &lines, const QString &seed);

    bool isEmpty() const { return m_words == 0; }
    qsizetype size() const { return m_words; }
    bool excludes(QStringView candidate) const;

private:
    qint32 next(qint32 state, char16_t unit) const;

    qsizetype m_words = 0;
    QHash<quint64, qint32> m_goto; // (state, folded unit) to state
    QList<qint32> m_fail;
    QList<bool> m_match; // a word ends here, or at a state its failure chain reaches
};

// Keywords/排除词.txt: read like a seed file when a run starts or continues.
QString exclusionFilePath(const QString &programDir);
// The file's lines; none when there is no file. error says why a file could not be read.
QStringList readExclusionFile(const QString &programDir, QString *error = nullptr);
// The words typed one a line, blanks dropped, as UTF-8 with its mark and CR LF (as Notepad
// keeps it), replacing the file whole. *count: how many words it holds.
SaveResult writeExclusionFile(const QString &programDir, const QString &text, qsizetype *count);
