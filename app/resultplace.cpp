#include "app/resultplace.h"

#include "app/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// Keywords is a folder we may write to already, or the folder could be made there.
bool canTakeKeywords(const QString &programDir)
{
    const QFileInfo keywords(QDir(programDir).filePath(u"Keywords"_s));
    if (keywords.exists())
        return keywords.isDir() && userMayWrite(keywords.filePath());
    return QFileInfo(programDir).isDir() && userMayWrite(programDir);
}

bool sameFolder(const QString &a, const QString &b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

QString resultBaseDir(const QString &programDir, const QString &documentsDir,
                      const QString &installBinDir)
{
    if (!sameFolder(programDir, installBinDir) && canTakeKeywords(programDir))
        return programDir;
    return QDir(documentsDir).filePath(u"Tailspade"_s);
}

QString documentsDir()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() : documents;
}
