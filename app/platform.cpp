#include "app/platform.h"

#include <QByteArray>

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
}
