// The album dialog's sketch: how long from a change of an option to the slide drawn anew, the
// build's placement run on the slide's photos and the sketch painted with their previews.
//
//   bench_album_sketch [ROUNDS]
//
// Four 4032 x 3024 JPEGs, as phones take them, on a slide of four; every round changes one
// option (layout, captions, background, slide size, greys, title) and paints at once.

#include "app/albumdialog.h"
#include "app/slidesketch.h"
#include "pictures/previewmaker.h"
#include "slides/picturemetrics.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace slidemill;

namespace {

double percentile(QList<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 400;
    QTemporaryDir dir;
    QStringList photos;
    for (int i = 0; i < 4; ++i) {
        QImage image(4032, 3024, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 4032, 3024);
        gradient.setColorAt(0, QColor::fromHsv(i * 80, 200, 230));
        gradient.setColorAt(1, QColor::fromHsv(i * 80 + 40, 255, 90));
        painter.fillRect(image.rect(), gradient);
        painter.end();
        photos << dir.filePath(QStringLiteral("IMG_%1.jpg").arg(i));
        image.save(photos.last(), "JPEG", 90);
    }
    HeaderPictureLoader loader;
    PreviewMaker previews;
    Album album;
    album.build.layout = Layout::FourPerSlide;
    AlbumDialog dialog(album, 220, {photos, 0, false}, loader, previews);
    dialog.resize(900, 420);
    dialog.show();
    // The previews are made once, as the dialog asks for them.
    QElapsedTimer made;
    made.start();
    const auto allMade = [&] {
        return std::ranges::all_of(photos, [&](const QString& p) {
            const std::optional<Preview> preview = previews.find(p);
            return preview && !preview->pending;
        });
    };
    while (!allMade() && made.elapsed() < 60000) {
        dialog.redraw();
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    std::printf("previews of 4 photos made in %lld ms\n", made.elapsed());

    auto* layout = dialog.findChild<QComboBox*>(QStringLiteral("layout"));
    auto* caption = dialog.findChild<QComboBox*>(QStringLiteral("caption"));
    auto* background = dialog.findChild<QComboBox*>(QStringLiteral("background"));
    auto* size = dialog.findChild<QComboBox*>(QStringLiteral("slideSize"));
    auto* grey = dialog.findChild<QCheckBox*>(QStringLiteral("grey"));
    auto* title = dialog.findChild<QLineEdit*>(QStringLiteral("title"));
    SlideSketchView* sketch = dialog.sketch();
    const std::function<void(int)> changes[] = {
        [&](int i) {
            layout->setCurrentIndex(i % 3 == 0 ? 2 : i % 3 == 1 ? 1 : 4);
        },
        [&](int i) { caption->setCurrentIndex(i % 3); },
        [&](int i) { background->setCurrentIndex(i % 2); },
        [&](int i) { size->setCurrentIndex(i % 2); },
        [&](int i) { grey->setChecked(i % 2); },
        [&](int i) { title->setText(i % 2 ? QStringLiteral("Crete") : QString()); },
    };
    QList<double> times;
    for (int i = 0; i < rounds; ++i) {
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        changes[i % std::size(changes)](i / int(std::size(changes)));
        sketch->repaint();
        times << timer.nsecsElapsed() / 1e6;
    }
    std::printf("option changed to sketch painted, %d rounds, %d x %d pixels: median %.2f ms, "
                "99 %% %.2f ms, longest %.2f ms\n",
                rounds, sketch->width(), sketch->height(), percentile(times, 0.5),
                percentile(times, 0.99), percentile(times, 1.0));
    return 0;
}
