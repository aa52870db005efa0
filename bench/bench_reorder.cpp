// One up pass and one down pass over the fullest photo list, every other entry selected, on
// the list's model shown in its view.
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

using namespace slidemill;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    constexpr int kEntries = 32767;

    PhotoListModel photos;
    PhotoListView list(&photos);
    QStringList texts;
    for (int i = 0; i < kEntries; ++i)
        texts.append(QStringLiteral("/home/user/Pictures/holiday/IMG_%1.jpg")
                         .arg(i, 5, 10, QLatin1Char('0')));
    photos.append(texts);
    QItemSelection every;
    for (int i = 1; i < kEntries; i += 2)
        every.select(photos.index(i), photos.index(i));
    photos.selectionModel()->select(every, QItemSelectionModel::ClearAndSelect);
    list.resize(400, 300);
    list.show();
    QApplication::processEvents();

    const auto time = [&](const char* name, void (PhotoListModel::*pass)()) {
        QElapsedTimer timer;
        timer.start();
        (photos.*pass)();
        const double passed = double(timer.nsecsElapsed()) / 1e6;
        // What the pass leaves the view to do: repaint what it shows.
        QApplication::processEvents();
        std::printf("%s pass, %d entries, every other selected: %.1f ms, %.1f ms with the "
                    "repaint\n",
                    name, kEntries, passed, double(timer.nsecsElapsed()) / 1e6);
    };
    time("up", &PhotoListModel::moveSelectedUp);
    time("down", &PhotoListModel::moveSelectedDown);
    time("up", &PhotoListModel::moveSelectedUp);
    return photos.selectedRows().size() == kEntries / 2 ? 0 : 1;
}
