// Draws the menu icons at build time from the same mark the window's icon is drawn from, one
// PNG per size in the hicolor theme's layout: <folder>/<size>x<size>/apps/<id>.png; or, given
// --ico, Windows' icon file with every size in it (PNG images, as Windows Vista reads them).

#include "app/pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

namespace {

// ICONDIR, one ICONDIRENTRY per image, then the images.
bool writeIco(const QString &file, const QStringList &sizes)
{
    QList<QByteArray> images;
    for (const QString &size : sizes) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        if (size.toInt() <= 0 || !pictures::spade(size.toInt()).save(&png, "PNG"))
            return false;
        images << png.data();
    }
    QByteArray ico;
    const auto put16 = [&](quint16 v) {
        ico += char(v & 0xFF);
        ico += char(v >> 8);
    };
    const auto put32 = [&](quint32 v) {
        put16(quint16(v & 0xFFFF));
        put16(quint16(v >> 16));
    };
    put16(0);
    put16(1); // an icon
    put16(quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const int size = sizes.at(i).toInt();
        ico += char(size >= 256 ? 0 : size); // 0 stands for 256
        ico += char(size >= 256 ? 0 : size);
        ico += char(0); // no palette
        ico += char(0);
        put16(1);  // planes
        put16(32); // bits per pixel
        put32(quint32(images.at(i).size()));
        put32(offset);
        offset += quint32(images.at(i).size());
    }
    for (const QByteArray &image : images)
        ico += image;
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(ico) == ico.size() && out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    // Nothing is shown: under Wine at build time there may be no display at all.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 4 && args.at(1) == QStringLiteral("--ico")) {
        if (writeIco(args.at(2), args.mid(3)))
            return 0;
        std::fprintf(stderr, "tailspade_icons: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    if (args.size() < 4) {
        std::fputs("usage: tailspade_icons <folder> <application id> <size>...\n"
                   "       tailspade_icons --ico <file> <size>...\n",
                   stderr);
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
