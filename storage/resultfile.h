#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class QFile;

struct SaveResult {
    enum class Status {
        Saved,         // the block is on disk
        NothingToSave, // no entries: no file was touched
        FolderFailed,  // Keywords could not be created (a file in the way, no permission)
        OpenFailed,    // the result file could not be opened or created
        WriteFailed,   // writing or committing failed (disk full, file size limit)
    };
    Status status = Status::NothingToSave;
    QString path;   // native path of the result file (of the folder for FolderFailed)
    QString detail; // the system's own error text, if any

    bool ok() const { return status == Status::Saved || status == Status::NothingToSave; }
};

// A keyword is one line of the result file: a candidate that is empty, or holds a line break
// or another control character (a link cut short runs on over the page's next lines), is none.
bool isKeywordText(const QString &candidate);

// <programDir>/Keywords, with native separators.
QString resultFolderPath(const QString &programDir);
// "关键词-" + seed + ".txt", with characters no file name may hold mapped to '_'. A seed too
// long for a file name keeps its beginning and gains a mark made from the whole seed; so does a
// marked one (a seed whose name another seed of its batch has already).
QString resultFileName(const QString &seed, bool marked = false);
// <programDir>/Keywords/<resultFileName(seed)>: where saveResults writes. In a folder so deep
// that the path would pass kMaxPathLength, the name is shortened to fit as a long seed's is.
QString resultFilePath(const QString &programDir, const QString &seed, bool marked = false);
// Beside the result files: the workbook of a whole batch, named for its first seed, its number
// of seeds and its start, "批量采集-<seed>等<n>个-<yyyyMMdd-HHmmss>.xlsx".
QString batchWorkbookPath(const QString &programDir, const QStringList &seeds,
                          const QDateTime &started);
// Year/month/day H:mm:ss, the Simplified Chinese general form; the date alone at midnight.
QString formatSaveTime(const QDateTime &when);
// GBK bytes; a character GBK cannot hold gets its GB18030 four-byte form instead of '?'.
QByteArray encodeForFile(const QString &text);
// Header, empty line and one line per entry, CR LF throughout.
QByteArray buildBlock(const QString &seed, const QStringList &entries, const QDateTime &when);

// Creates <programDir>/Keywords and the folders above it where missing; false, with the
// system's reason in *detail, when it cannot.
bool ensureResultFolder(const QString &programDir, QString *detail = nullptr);
// Creates Keywords, and the folders above it, if missing (always), then, when there are
// entries, writes one block: appended after the file's last byte, or replacing the file whole
// (the old file survives a failed write). Saved means on the disk, not only with the system.
SaveResult saveResults(const QString &programDir, const QString &seed, const QStringList &entries,
                       bool append, const QDateTime &when, bool marked = false);
// Writes a whole file under a short name of its own beside path, then, once it is on the disk,
// renames it over path in one step: a failure leaves what was there and removes the new file.
// write gets the new file open and gives the reason it failed, or nothing; it may close the
// file and have it written by name.
SaveResult replaceFileWith(const QString &path, const std::function<QString(QFile &)> &write);
SaveResult replaceFileWith(const QString &path, const QByteArray &bytes);
// Removes what overwrites cut short by a kill or a power cut left in Keywords: this program's
// own temporary files, and only those whose saving copy is gone.
void removeStaleTemporaryFiles(const QString &programDir);
