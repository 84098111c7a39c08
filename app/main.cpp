#include "app/form8.h"
#include "app/platform.h"

#include <QApplication>
#include <QScreen>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    prepareBrowserEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tailspade"));

    Form8Options options;
    options.miner.journalDir =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    Form8 window(std::move(options));
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
