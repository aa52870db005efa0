// A folder of 100,000 pictures listed in File1 and shown.
// Usage: bench_browser [folder]  (default: a new temporary folder, filled and removed)
#include "browser/filelist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace slidemill;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kFiles = 100000;

    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    if (argc <= 1) {
        const char* extensions[] = {".jpg", ".PNG", ".gif", ".Tif", ".bmp"};
        for (int i = 0; i < kFiles; ++i) {
            const QByteArray name =
                QFile::encodeName(folder) + "/IMG_" + QByteArray::number(i) + extensions[i % 5];
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
            if (fd < 0) {
                std::perror(name.constData());
                return 1;
            }
            ::close(fd);
        }
    }

    FileList file1;
    file1.resize(200, 260);
    file1.show();
    QApplication::processEvents();

    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        file1.setPath(folder);
        const double listed = double(timer.nsecsElapsed()) / 1e6;
        QApplication::processEvents(); // layout and first paint
        std::printf("%d names listed of %d files: %.1f ms, %.1f ms shown\n", file1.count(), kFiles,
                    listed, double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}
