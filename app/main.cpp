#include "app/dialogs.h"
#include "app/form8.h"
#include "app/resultplace.h"

#include <QApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tailspade"));
    QGuiApplication::setDesktopFileName(QStringLiteral(TAILSPADE_APP_ID));
    QTranslator qtChinese;
    installQtChinese(qtChinese);

    Form8Options options;
    options.miner.programDir = resultBaseDir(QCoreApplication::applicationDirPath(), documentsDir(),
                                             QStringLiteral(TAILSPADE_INSTALL_BINDIR));
    options.miner.journalDir =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    Form8 window(std::move(options));
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
