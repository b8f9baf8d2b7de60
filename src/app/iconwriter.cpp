// velmora-icons FOLDER
//
// Writes the program's icon, drawn from its own pictures, into FOLDER as the
// icon theme wants it: hicolor/<size>x<size>/apps/velmora.png for each size.
// Run by the build; the files are installed with the program.
#include "app/imagelist.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: velmora-icons FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int size : velmora::app::programIconSizes()) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QStringLiteral("/velmora.png");
        if (!QDir().mkpath(folder) || !velmora::app::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "velmora-icons: cannot write %s\n",
                         file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
