#include "app/platform.h"

#include <QFileInfo>

#ifdef Q_OS_WIN
extern Q_CORE_EXPORT int qt_ntfs_permission_lookup;
#endif

using namespace Qt::StringLiterals;

QStringList chineseFontFamilies()
{
#ifdef Q_OS_WIN
    // 微软雅黑, Windows' Chinese interface face since Vista, else 宋体; Noto under Wine.
    return {u"Microsoft YaHei"_s, u"微软雅黑"_s, u"SimSun"_s, u"宋体"_s, u"Noto Sans CJK SC"_s};
#else
    // 宋体 where it is installed, else a CJK serif, else whatever CJK face fontconfig finds.
    return {u"宋体"_s, u"SimSun"_s, u"Noto Serif CJK SC"_s, u"Noto Sans CJK SC"_s};
#endif
}

QString nativeLineEnd()
{
#ifdef Q_OS_WIN
    return QStringLiteral("\r\n");
#else
    return QStringLiteral("\n");
#endif
}

bool userMayWrite(const QString &path)
{
#ifdef Q_OS_WIN
    ++qt_ntfs_permission_lookup;
    const bool writable = QFileInfo(path).isWritable();
    --qt_ntfs_permission_lookup;
    return writable;
#else
    return QFileInfo(path).isWritable();
#endif
}
