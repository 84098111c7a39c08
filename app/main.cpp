#include "app/dialogs.h"
#include "app/form8.h"
#include "app/platform.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

int main(int argc, char *argv[])
{
    prepareBrowserEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tailspade"));
    QTranslator qtChinese;
    installQtChinese(qtChinese);

    Form8 window;
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
