#pragma once

#include <QString>

// What the file system needs of us so that a save outlives a power cut, and how long a name it
// takes. Everything that differs between platforms in storage lives behind these.

// Forces the data of an open file to the disk. False, with errno set, when the disk refused.
bool syncToDisk(int fd);
// Forces a folder's entries (a file created or renamed in it) to the disk. Best effort: some
// file systems cannot sync a folder, and the data itself is already safe then.
void syncFolder(const QString &folder);
// Renames from to to in one step, replacing a file there: a reader finds the old file or the
// new one, never neither. False when the system refused, with its reason in *reason (Windows'
// own: a file open in another program is not an input/output error).
bool renameReplacing(const QString &from, const QString &to, QString *reason = nullptr);
// The length of a file name as the file system counts it against kMaxFileNameLength: UTF-16
// units on Windows, UTF-8 bytes elsewhere.
qsizetype fileNameLength(QStringView name);
inline constexpr qsizetype kMaxFileNameLength = 255;
// The longest path, counted alike, that every program on the system opens: Windows' MAX_PATH
// less its terminating null there, PATH_MAX's elsewhere.
#ifdef Q_OS_WIN
inline constexpr qsizetype kMaxPathLength = 259;
#else
inline constexpr qsizetype kMaxPathLength = 4095;
#endif
