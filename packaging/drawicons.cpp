// Draws the menu icons at build time from the same mark the window's icon is drawn from, one
// PNG per size in the hicolor theme's layout: <folder>/<size>x<size>/apps/<id>.png.

#include "app/pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: tailspade_icons <folder> <application id> <size>...\n", stderr);
        return 2;
    }
    for (const QString &sizeText : args.mid(3)) {
        const int size = sizeText.toInt();
        const QString dir = args.at(1) + QStringLiteral("/%1x%1/apps").arg(size);
        const QString file = dir + u'/' + args.at(2) + QStringLiteral(".png");
        if (size <= 0 || !QDir().mkpath(dir) || !pictures::spade(size).save(file, "PNG")) {
            std::fprintf(stderr, "tailspade_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
