#include "resultfile.h"

#include "storage/durable.h"
#include "text/codepage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

std::filesystem::path toFsPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    const QByteArray local = QFile::encodeName(path);
    return std::filesystem::path(std::string(local.constData(), size_t(local.size())));
#endif
}

// QDir::mkdir gives no reason for a failure; std::filesystem does. The folders above Keywords
// are made too: under the documents folder they may not exist yet. Each folder made is synced
// into the folder above it, so that the file saved in it survives a power cut as well.
bool ensureFolder(const QString &folder, QString *detail)
{
    QStringList made;
    for (QString f = folder; !QFileInfo::exists(f);) {
        made << f;
        const QString above = QFileInfo(f).path();
        if (above == f)
            break;
        f = above;
    }
    std::error_code ec;
    const std::filesystem::path fsPath = toFsPath(folder);
    std::filesystem::create_directories(fsPath, ec);
    if (!ec && std::filesystem::is_directory(fsPath, ec)) {
        for (const QString &f : made)
            syncFolder(QFileInfo(f).path());
        return true;
    }
    if (!ec)
        ec = std::make_error_code(std::errc::not_a_directory); // a file is in the way
    if (detail)
        *detail = QString::fromLocal8Bit(ec.message().c_str());
    return false;
}

bool isForbiddenInFileName(char16_t c)
{
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
    case u'\\':
    case u'/':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|':
        return true;
    default:
        return false;
    }
}

SaveResult makeResult(SaveResult::Status status, const QString &path, const QString &detail)
{
    SaveResult r;
    r.status = status;
    r.path = path;
    r.detail = detail;
    return r;
}

// Writes the whole of bytes to a file opened unbuffered. A write the system cuts short is
// followed by one for the rest, which then fails and gives the system's reason (a full disk,
// a file size limit) in errorString().
bool writeWhole(QFileDevice &file, const QByteArray &bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

SaveResult appendBlock(const QString &path, const QByteArray &block)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    const bool created = !QFileInfo::exists(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return makeResult(SaveResult::Status::OpenFailed, nativePath, file.errorString());
    const qint64 before = file.size();
    if (!writeWhole(file, block)) {
        const QString detail = file.errorString();
        // A block cut short would read as a whole one missing entries: take it back out.
        file.resize(before);
        return makeResult(SaveResult::Status::WriteFailed, nativePath, detail);
    }
    // On the disk before the caller lets the run's journal go. A block the disk did not take
    // is taken back out too: the file then holds what the failure report says it holds.
    if (!syncToDisk(file.handle())) {
        const QString detail = QString::fromLocal8Bit(std::strerror(errno));
        file.resize(before);
        return makeResult(SaveResult::Status::WriteFailed, nativePath, detail);
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return makeResult(SaveResult::Status::WriteFailed, nativePath, file.errorString());
    if (created)
        syncFolder(QFileInfo(path).path());
    return makeResult(SaveResult::Status::Saved, nativePath, QString());
}

// The new file is written under a short name of its own beside the old one, then renamed over
// it: QSaveFile names its file after the target plus 7 characters, which no longer fits beside
// a result name near the longest a file system takes. Any failure before the rename leaves the
// old file as it was and removes the new one.
} // namespace

SaveResult replaceFileWith(const QString &path, const std::function<QString(QFile &)> &write)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    // Through a link, the file it points at is replaced, not the link.
    const QFileInfo old(path);
    const QString target = old.exists() ? old.canonicalFilePath() : path;
    // A result file made read-only, or a folder in its place, is not replaced.
    if (old.isDir())
        return makeResult(SaveResult::Status::OpenFailed, nativePath,
                          QString::fromLocal8Bit(std::strerror(EISDIR)));
    if (old.exists() && !old.isWritable())
        return makeResult(SaveResult::Status::OpenFailed, nativePath,
                          QString::fromLocal8Bit(std::strerror(EACCES)));

    // Made anew, never an existing file; QTemporaryFile would make it readable by its owner only.
    const QDir folder = QFileInfo(target).absoluteDir();
    QFile file;
    // Held while the file exists, so that a start's cleanup tells ours from one left behind.
    // A disk too full for it still gets the save tried.
    std::unique_ptr<QLockFile> lock;
    for (int tries = 0; tries < 4 && !file.isOpen(); ++tries) {
        file.setFileName(folder.filePath(u".tailspade-%1.tmp"_s.arg(
            QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'))));
        lock = std::make_unique<QLockFile>(file.fileName() + u".lock"_s);
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError)
            continue;
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    if (!file.isOpen())
        return makeResult(SaveResult::Status::OpenFailed, nativePath, file.errorString());
    const auto fail = [&](const QString &detail) {
        file.remove();
        return makeResult(SaveResult::Status::WriteFailed, nativePath, detail);
    };
    if (old.exists())
        file.setPermissions(old.permissions());
    const QString failed = write(file);
    if (!failed.isEmpty())
        return fail(failed);
    // Written by name: open again to force it to the disk.
    if (!file.isOpen() && !file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(file.errorString());
    // On the disk before its name replaces the old file's.
    if (!syncToDisk(file.handle()))
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    QString reason;
    if (!renameReplacing(file.fileName(), target, &reason))
        return fail(reason);
    syncFolder(folder.path());
    return makeResult(SaveResult::Status::Saved, nativePath, QString());
}

SaveResult replaceFileWith(const QString &path, const QByteArray &bytes)
{
    return replaceFileWith(path, [&bytes](QFile &file) {
        return writeWhole(file, bytes) ? QString() : file.errorString();
    });
}

bool isKeywordText(const QString &candidate)
{
    if (candidate.isEmpty())
        return false;
    for (const QChar c : candidate) {
        switch (c.category()) {
        case QChar::Other_Control:       // CR, LF, tab, NEL, ...
        case QChar::Separator_Line:      // U+2028
        case QChar::Separator_Paragraph: // U+2029
            return false;
        default:
            break;
        }
    }
    return true;
}

void removeStaleTemporaryFiles(const QString &programDir)
{
    const QDir folder(resultFolderPath(programDir));
    const QRegularExpression ours(u"^\\.tailspade-[0-9a-f]{8}\\.tmp$"_s);
    for (const QString &name :
         folder.entryList({u".tailspade-*.tmp"_s}, QDir::Files | QDir::Hidden)) {
        if (!ours.match(name).hasMatch())
            continue;
        QLockFile lock(folder.filePath(name) + u".lock"_s);
        lock.setStaleLockTime(0); // a copy that is gone leaves its lock stale
        if (lock.tryLock(0))
            QFile::remove(folder.filePath(name));
    }
}

QString resultFolderPath(const QString &programDir)
{
    return QDir::toNativeSeparators(QDir(programDir).filePath(u"Keywords"_s));
}

namespace {

// The result file's name for seed, at most room long (as fileNameLength counts).
QString fittedFileName(const QString &seed, qsizetype room, bool marked,
                       const QString &prefix = u"关键词-"_s, const QString &extension = u".txt"_s)
{
    QString name = seed;
    for (QChar &c : name) {
        if (isForbiddenInFileName(c.unicode()))
            c = u'_';
    }
    if (!marked && fileNameLength(QString(prefix + name + extension)) <= room)
        return prefix + name + extension;

    // Too long for the file system, or marked: the seed's beginning, then a mark of the whole
    // seed, so that two seeds alike in their names keep files of their own.
    const QString mark =
        u'~' +
        QString::fromLatin1(
            QCryptographicHash::hash(seed.toUtf8(), QCryptographicHash::Sha256).toHex().left(8));
    room -= fileNameLength(QString(prefix + mark + extension));
    qsizetype kept = 0;
    while (kept < name.size()) {
        const qsizetype step = name.at(kept).isHighSurrogate() && kept + 1 < name.size() ? 2 : 1;
        const qsizetype length = fileNameLength(QStringView(name).mid(kept, step));
        if (length > room)
            break;
        room -= length;
        kept += step;
    }
    return prefix + name.left(kept) + mark + extension;
}

} // namespace

QString resultFileName(const QString &seed, bool marked)
{
    return fittedFileName(seed, kMaxFileNameLength, marked);
}

QString formatSaveTime(const QDateTime &when)
{
    // Built by hand so that neither the system locale nor Qt's format parser can change it.
    const QDate d = when.date();
    const QTime t = when.time();
    QString text = QString::number(d.year()) + u'/' + QString::number(d.month()) + u'/' +
                   QString::number(d.day());
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return text;
    return text + u' ' + QString::number(t.hour()) + u':' +
           QStringLiteral("%1").arg(t.minute(), 2, 10, QChar(u'0')) + u':' +
           QStringLiteral("%1").arg(t.second(), 2, 10, QChar(u'0'));
}

QByteArray encodeForFile(const QString &text)
{
    return toGbk(text);
}

QByteArray buildBlock(const QString &seed, const QStringList &entries, const QDateTime &when)
{
    const QString crlf = u"\r\n"_s;
    QString text = u"以下是与 {"_s + seed + u"} 相关长尾词    保存时间："_s + formatSaveTime(when) +
                   u"     本次共"_s + QString::number(entries.size()) + u"条"_s + crlf + crlf;
    for (const QString &entry : entries)
        text += entry + crlf;
    return encodeForFile(text);
}

namespace {

// In Keywords: in a deep folder the name is shortened as a long seed's is, so that the whole
// path stays one the system and other programs open (Windows' 260 characters); where even the
// shortest name passes it, the shortest it is.
QString fittedPath(const QString &programDir, const QString &seed, bool marked,
                   const QString &prefix = u"关键词-"_s, const QString &extension = u".txt"_s)
{
    const QString folder = QDir(programDir).filePath(u"Keywords/"_s);
    const qsizetype used =
        fileNameLength(QDir::toNativeSeparators(QDir(folder).absolutePath() + u'/'));
    return folder + fittedFileName(seed, qMin(kMaxFileNameLength, kMaxPathLength - used), marked,
                                   prefix, extension);
}

} // namespace

QString resultFilePath(const QString &programDir, const QString &seed, bool marked)
{
    return fittedPath(programDir, seed, marked);
}

QString batchWorkbookPath(const QString &programDir, const QStringList &seeds,
                          const QDateTime &started)
{
    // The first seed stands for the batch, shortened as a result file's seed is.
    return fittedPath(programDir, seeds.value(0), false, u"批量采集-"_s,
                      u"等"_s + QString::number(seeds.size()) + u"个-"_s +
                          started.toString(u"yyyyMMdd-HHmmss"_s) + u".xlsx"_s);
}

bool ensureResultFolder(const QString &programDir, QString *detail)
{
    return ensureFolder(QDir(programDir).filePath(u"Keywords"_s), detail);
}

SaveResult saveResults(const QString &programDir, const QString &seed, const QStringList &entries,
                       bool append, const QDateTime &when, bool marked)
{
    QString detail;
    if (!ensureResultFolder(programDir, &detail))
        return makeResult(SaveResult::Status::FolderFailed, resultFolderPath(programDir), detail);

    const QString path = resultFilePath(programDir, seed, marked);
    if (entries.isEmpty())
        return makeResult(SaveResult::Status::NothingToSave, QDir::toNativeSeparators(path),
                          QString());

    const QByteArray block = buildBlock(seed, entries, when);
    return append ? appendBlock(path, block) : replaceFileWith(path, block);
}
