#include "mining/exclusion.h"

#include "storage/batchrecord.h"
#include "storage/resultfile.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

char16_t folded(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    const QChar ch(c);
    return ch.script() == QChar::Script_Latin ? ch.toCaseFolded().unicode() : c;
}

QString foldedText(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = QChar(folded(text.at(i).unicode()));
    return out;
}

quint64 key(qint32 state, char16_t unit)
{
    return (quint64(quint32(state)) << 16) | unit;
}

} // namespace

ExclusionWords::ExclusionWords(const QStringList &lines, const QString &seed)
{
    const QString foldedSeed = foldedText(seed);
    m_fail = {0};
    m_match = {false};
    for (const QString &line : lines) {
        const QString word = foldedText(line.trimmed());
        if (word.isEmpty() || foldedSeed.contains(word))
            continue;
        ++m_words;
        qint32 state = 0;
        for (const QChar c : word) {
            const auto it = m_goto.constFind(key(state, c.unicode()));
            if (it != m_goto.cend()) {
                state = *it;
                continue;
            }
            const qint32 added = qint32(m_fail.size());
            m_fail.append(0);
            m_match.append(false);
            m_goto.insert(key(state, c.unicode()), added);
            state = added;
        }
        m_match[state] = true;
    }
    // Failure links breadth-first: each state's is found from its parent's.
    QList<QList<std::pair<char16_t, qint32>>> children(m_fail.size());
    for (auto it = m_goto.cbegin(); it != m_goto.cend(); ++it)
        children[qint32(it.key() >> 16)].append({char16_t(it.key() & 0xFFFF), it.value()});
    QList<qint32> queue{0};
    for (qsizetype q = 0; q < queue.size(); ++q) {
        const qint32 state = queue.at(q);
        for (const auto &[unit, child] : std::as_const(children.at(state))) {
            if (state != 0) {
                m_fail[child] = next(m_fail.at(state), unit);
                m_match[child] = m_match.at(child) || m_match.at(m_fail.at(child));
            }
            queue.append(child);
        }
    }
}

qint32 ExclusionWords::next(qint32 state, char16_t unit) const
{
    for (;;) {
        const auto it = m_goto.constFind(key(state, unit));
        if (it != m_goto.cend())
            return *it;
        if (state == 0)
            return 0;
        state = m_fail.at(state);
    }
}

bool ExclusionWords::excludes(QStringView candidate) const
{
    if (m_words == 0)
        return false;
    qint32 state = 0;
    for (const QChar c : candidate) {
        state = next(state, folded(c.unicode()));
        if (m_match.at(state))
            return true;
    }
    return false;
}

QString exclusionFilePath(const QString &programDir)
{
    return QDir(programDir).filePath(u"Keywords/排除词.txt"_s);
}

QStringList readExclusionFile(const QString &programDir, QString *error)
{
    const QString path = exclusionFilePath(programDir);
    if (!QFileInfo::exists(path))
        return {};
    const SeedFile file = readSeedFile(path);
    if (error)
        *error = file.error;
    return file.lines;
}

SaveResult writeExclusionFile(const QString &programDir, const QString &text, qsizetype *count)
{
    QStringList words;
    for (const QString &line : text.split(u'\n')) {
        if (!line.trimmed().isEmpty())
            words << line.trimmed();
    }
    *count = words.size();
    QString reason;
    if (!ensureResultFolder(programDir, &reason))
        return {SaveResult::Status::FolderFailed, resultFolderPath(programDir), reason};
    return replaceFileWith(
        exclusionFilePath(programDir),
        words.isEmpty() ? QByteArray() : "\xEF\xBB\xBF" + words.join(u"\r\n"_s).toUtf8() + "\r\n");
}
