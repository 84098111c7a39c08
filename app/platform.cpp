#include "app/platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QQuickWindow>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

void prepareBrowserEnvironment()
{
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
}

QString nativeLineEnd()
{
#ifdef Q_OS_WIN
    return QStringLiteral("\r\n");
#else
    return QStringLiteral("\n");
#endif
}
