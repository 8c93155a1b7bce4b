// Writes the program's icon into an icon-theme folder: dozorira-icons OUTDIR APP_ID
#include "icon.h"

#include <QDir>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTDIR APP_ID\n", argv[0]);
        return 2;
    }
    const QString themeFolder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor");
    const QString name = QString::fromLocal8Bit(argv[2]) + QStringLiteral(".png");
    const QImage icon = dozorira::window::iconImage();
    // Larger sizes repeat pixels rather than blur them: the picture is drawn for 32 x 32.
    for (const int size : {32, 48, 64, 128, 256}) {
        const QString folder = themeFolder + QStringLiteral("/%1x%1/apps").arg(size);
        const QImage image = icon.scaled(size, size, Qt::KeepAspectRatio, Qt::FastTransformation);
        if (!QDir().mkpath(folder) || !image.save(folder + QLatin1Char('/') + name, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(folder + QLatin1Char('/') + name));
            return 1;
        }
    }
    return 0;
}
