#include "photolist/photolist.h"
#include "photolist/photolistmodel.h"
#include "photolist/photolistview.h"
#include "support/formdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

namespace {

// List1's size on the window, in twips.
constexpr int kListWidthTwips = 2535;
constexpr int kListHeightTwips = 3765;

// Counts the events that a layout pass which changes the scroll bars gives: the viewport
// resized, a scroll bar shown or hidden.
class LayoutChanges : public QObject {
public:
    explicit LayoutChanges(PhotoListView* view) {
        for (QObject* o : {static_cast<QObject*>(view->viewport()),
                           static_cast<QObject*>(view->horizontalScrollBar()),
                           static_cast<QObject*>(view->verticalScrollBar())})
            o->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type t = event->type();
        if (t == QEvent::Resize || t == QEvent::Show || t == QEvent::Hide)
            ++count;
        return false;
    }
};

// A list of List1's size, alone on a window.
struct ShownList {
    QWidget window;
    PhotoListModel photos;
    PhotoListView* view;

    ShownList() : view(new PhotoListView(&photos, &window)) {
        const double scale = window.logicalDpiX() / 1440.0;
        view->setGeometry(0, 0, qRound(kListWidthTwips * scale), qRound(kListHeightTwips * scale));
        window.resize(view->size());
        window.show();
    }
    // What the add handlers do: append, then set the extent from every entry.
    void add(const QStringList& paths) {
        photos.append(paths);
        view->setHorizontalExtent(listExtent(photos.shownTexts(), QFontMetricsF(window.font())));
    }
};

int scrollBarExtent(const PhotoListView* view) {
    return view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                      view->verticalScrollBar());
}

// Texts whose extent is each width from `from` to `to`: the prefix, runs of characters of
// different advances, so that every pixel is hit, and the suffix.
QHash<int, QString> textsOfExtents(const QString& prefix, const QString& suffix, int from, int to,
                                   const QFontMetricsF& metrics) {
    QHash<int, QString> found;
    for (int wide = 0; wide < 200 && found.size() < to - from + 1; ++wide) {
        for (int mid = 0; mid < 6; ++mid) {
            for (int narrow = 0; narrow < 6; ++narrow) {
                const QString text = prefix + QString(wide, QLatin1Char('m')) +
                                     QString(mid, QLatin1Char('e')) +
                                     QString(narrow, QLatin1Char('i')) + suffix;
                const int extent = listExtent({text}, metrics);
                if (extent >= from && extent <= to && !found.contains(extent))
                    found.insert(extent, text);
            }
        }
    }
    return found;
}

QStringList fillers(int count) {
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("/f%1").arg(i);
    return out;
}

// What the vertical scroll bar does in a test.
enum class Vertical {
    None,     // too few entries to need it
    Always,   // enough entries to need it whatever the horizontal one does
    WithBoth, // needed only when the horizontal one takes its height from the rows
};

} // namespace

Q_DECLARE_METATYPE(Vertical)

namespace {

// How many short entries, beside the one measured, make the vertical scroll bar behave as
// asked; -1 when the rows' height gives no such count.
int fillersFor(Vertical vertical) {
    if (vertical == Vertical::None)
        return 0;
    if (vertical == Vertical::Always)
        return 60;
    // The most rows that fit the full height...
    ShownList probe;
    int rows = 0;
    for (;;) {
        probe.photos.clear();
        probe.add(fillers(rows + 1));
        if (probe.view->verticalScrollBar()->maximum() > 0)
            break;
        ++rows;
    }
    probe.photos.clear();
    probe.add(fillers(rows));
    // ...but not the height the horizontal scroll bar leaves.
    probe.view->setHorizontalExtent(1000);
    QTest::qWait(50);
    return probe.view->verticalScrollBar()->isVisible() ? rows - 1 : -1;
}

} // namespace

// List1's sideways scroll range is the extent UpdateListExtent sets, less the viewport's width,
// whatever the entries' own widths.
class TestPhotoListView : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A photo whose path is a little wider than the list, added with ">": the window used to
    // spin laying out the list again and again and never answered.
    void anEntryAsWideAsTheListLeavesTheWindowAnswering() {
        // A short folder, so that the name can make up the width.
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/p-XXXXXX"));
        const int wide = ShownList().view->maximumViewportSize().width() + 2;
        const QString path = textsOfExtents(dir.path() + QLatin1Char('/'), QStringLiteral(".jpg"),
                                            wide, wide, QFontMetricsF(QApplication::font()))
                                 .value(wide);
        QVERIFY(!path.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        test::FormDriver w;
        w.volumes.add(QStringLiteral("Fake"), dir.path());
        QVERIFY(w.open());
        PhotoListView* list1 = w.control<PhotoListView>("List1");
        QCOMPARE(w.list("File1")->count(), 1);

        LayoutChanges changes(list1);
        w.clickRow(w.list("File1"), 0);
        w.click("cmdAdd");
        QCOMPARE(list1->photos()->count(), 1);
        QTest::qWait(100);
        changes.count = 0;
        QTest::qWait(150);
        QCOMPARE(changes.count, 0);
        // A click given now is taken at once.
        test::FormDriver::postClick(w.control<QCheckBox>("Check1"));
        QTRY_VERIFY_WITH_TIMEOUT(w.control<QCheckBox>("Check1")->isChecked(), 1000);
        QVERIFY(list1->horizontalScrollBar()->maximum() > 0);
    }

    // Every extent around the viewport's width, pixel by pixel, with and without a vertical
    // scroll bar: the list settles, its range is the extent less the viewport's width, and
    // the end of the entry can be scrolled to.
    void settlesAroundTheViewportWidth_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Vertical>("vertical");
        QTest::addColumn<int>("extent");
        ShownList probe;
        const int bar = scrollBarExtent(probe.view);
        const int full = probe.view->maximumViewportSize().width();
        const QFontMetricsF metrics(probe.window.font());
        const QHash<int, QString> texts =
            textsOfExtents(QStringLiteral("/"), {}, full - 2 * bar - 2, full + bar + 2, metrics);
        for (int extent = full - 2 * bar - 2; extent <= full + bar + 2; ++extent) {
            QVERIFY2(texts.contains(extent), qPrintable(QString::number(extent)));
            for (const auto& [vertical, name] :
                 {std::pair{Vertical::None, ""}, std::pair{Vertical::Always, ", vertical bar"},
                  std::pair{Vertical::WithBoth, ", vertical bar with the horizontal one"}})
                QTest::addRow("%d px%s", extent, name) << texts.value(extent) << vertical << extent;
        }
    }
    void settlesAroundTheViewportWidth() {
        QFETCH(QString, text);
        QFETCH(Vertical, vertical);
        QFETCH(int, extent);
        const int rows = fillersFor(vertical);
        if (rows < 0)
            QSKIP("no count of rows needs the vertical scroll bar only beside the horizontal one");
        ShownList list;
        QVERIFY(QTest::qWaitForWindowExposed(&list.window));
        LayoutChanges changes(list.view);
        list.add(fillers(rows) << text);
        QCOMPARE(list.view->horizontalExtent(), extent);
        QTest::qWait(100);
        changes.count = 0;
        QTest::qWait(150);
        QCOMPARE(changes.count, 0);

        QScrollBar* bar = list.view->horizontalScrollBar();
        QScrollBar* side = list.view->verticalScrollBar();
        QCOMPARE(bar->maximum(), qMax(0, extent - list.view->viewport()->width()));
        QCOMPARE(bar->isVisible(), bar->maximum() > 0);
        switch (vertical) {
        case Vertical::None:
            QVERIFY(!side->isVisible());
            break;
        case Vertical::Always:
            QVERIFY(side->isVisible());
            break;
        case Vertical::WithBoth:
            QCOMPARE(side->isVisible(), bar->isVisible());
            break;
        }
    }
};

QTEST_MAIN(TestPhotoListView)
#include "test_photolistview.moc"
