#include "app/platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#ifndef Q_OS_WIN
#include <QQuickWindow>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>
#endif

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
extern Q_CORE_EXPORT int qt_ntfs_permission_lookup;
#endif

using namespace Qt::StringLiterals;

void prepareBrowserEnvironment()
{
#ifdef Q_OS_WIN
    // The strip is a rich-text view there (Qt has no web engine for MinGW): nothing to prepare.
#else
#ifdef Q_OS_UNIX
    // Chromium refuses to start its sandbox as root; only then is it switched off.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArrayLiteral("1"));
#endif
    // The browser's strip shows one still page: drawn in software, it needs no OpenGL context
    // (software OpenGL costs the memory of a context and a thread per core).
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // The browser's native container must not make its siblings native windows too: the other
    // controls stay drawn into the window's one raster surface.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    QtWebEngineQuick::initialize();
#endif
}

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
