#include "photolist/photolistmodel.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

using namespace slidemill;

using Rows = QList<int>;

namespace {

// A list of the given texts with the given rows selected and the given current row.
void fill(PhotoListModel& list, const QString& texts, const Rows& selected, int current = -1) {
    QStringList paths;
    for (const QChar c : texts)
        paths << QString(c);
    list.append(paths);
    list.setCurrentRow(current);
    for (int row : selected)
        list.setSelected(row, true);
}

QString order(const PhotoListModel& list) {
    return list.paths().join(QString());
}

void press(PhotoListModel& list, bool up) {
    up ? list.moveSelectedUp() : list.moveSelectedDown();
}

// "up", "down", or "remove" the current entry; "move 0,2>5" moves rows before row 5, "drop 1,3"
// removes rows, as the album window's grid does.
void apply(PhotoListModel& list, const QString& op) {
    const auto rows = [](QStringView text) {
        Rows out;
        for (const QStringView n : text.split(QLatin1Char(',')))
            out << n.toInt();
        return out;
    };
    if (op == QLatin1String("remove")) {
        list.removeAt(list.currentRow());
    } else if (op.startsWith(QLatin1String("move "))) {
        const QStringList parts = op.mid(5).split(QLatin1Char('>'));
        list.moveEntries(rows(parts[0]), parts[1].toInt());
    } else if (op.startsWith(QLatin1String("drop "))) {
        list.removeEntries(rows(QStringView(op).mid(5)));
    } else {
        press(list, op == QLatin1String("up"));
    }
}

} // namespace

// The photo list without a widget: the moves, and removal.
class TestPhotoListModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void onePass_data() {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("texts");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<int>("currentBefore");
        QTest::addColumn<QString>("orderAfter");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::addColumn<int>("currentAfter");

        // The five-entry examples; a current index of 4 before shows "unchanged".
        QTest::newRow("up 0,2,3") << "up"
                                  << "ABCDE" << Rows{0, 2, 3} << 4 << "ACDBE" << Rows{0, 1, 2} << 2;
        QTest::newRow("up 1,3") << "up"
                                << "ABCDE" << Rows{1, 3} << 4 << "BADCE" << Rows{0, 2} << 2;
        QTest::newRow("up 3,4") << "up"
                                << "ABCDE" << Rows{3, 4} << 0 << "ABDEC" << Rows{2, 3} << 3;
        QTest::newRow("up last only") << "up"
                                      << "ABCDE" << Rows{4} << 0 << "ABCED" << Rows{3} << 3;
        QTest::newRow("down 1,2") << "down"
                                  << "ABCDE" << Rows{1, 2} << 4 << "ADBCE" << Rows{2, 3} << 2;
        QTest::newRow("down 0,2,4")
            << "down"
            << "ABCDE" << Rows{0, 2, 4} << 4 << "BADCE" << Rows{1, 3, 4} << 1;
        QTest::newRow("down block at bottom")
            << "down"
            << "ABCDE" << Rows{3, 4} << 1 << "ABCDE" << Rows{3, 4} << 1;

        // Nothing can move: the list, the selection and the current index stay as they were.
        QTest::newRow("up empty") << "up"
                                  << "" << Rows{} << -1 << "" << Rows{} << -1;
        QTest::newRow("down empty") << "down"
                                    << "" << Rows{} << -1 << "" << Rows{} << -1;
        QTest::newRow("up none selected") << "up"
                                          << "ABC" << Rows{} << 1 << "ABC" << Rows{} << 1;
        QTest::newRow("down none selected") << "down"
                                            << "ABC" << Rows{} << 2 << "ABC" << Rows{} << 2;
        QTest::newRow("up block at top")
            << "up"
            << "ABCDE" << Rows{0, 1} << 3 << "ABCDE" << Rows{0, 1} << 3;

        // Runs move as a whole; the pinned run stays while a later run moves.
        QTest::newRow("up pinned and a run")
            << "up"
            << "ABCDEF" << Rows{0, 3, 4} << 5 << "ABDECF" << Rows{0, 2, 3} << 3;
        QTest::newRow("down run and pinned")
            << "down"
            << "ABCDEF" << Rows{1, 2, 5} << 0 << "ADBCEF" << Rows{2, 3, 5} << 2;
        // Equal texts are entries of their own.
        QTest::newRow("up duplicates") << "up"
                                       << "AAB" << Rows{2} << 0 << "ABA" << Rows{1} << 1;

        // Removal takes the current entry only and leaves no entry current, so that a second
        // removal waits for the user to pick one.
        QTest::newRow("remove current")
            << "remove"
            << "ABCD" << Rows{0, 2, 3} << 2 << "ABD" << Rows{0, 2} << -1;
        QTest::newRow("remove unselected current")
            << "remove"
            << "ABCD" << Rows{1} << 3 << "ABC" << Rows{1} << -1;

        // Cells dragged in the album window: they go together, in their order, before the row
        // they were dropped on; their flags go with them.
        QTest::newRow("move two apart to the end")
            << "move 2,0>6"
            << "ABCDEF" << Rows{0, 2} << 0 << "BDEFAC" << Rows{4, 5} << 4;
        QTest::newRow("move onto their own run: nothing")
            << "move 1,2>2"
            << "ABCD" << Rows{1} << 2 << "ABCD" << Rows{1} << 2;
        QTest::newRow("move the last to the front")
            << "move 3>0"
            << "ABCD" << Rows{} << -1 << "DABC" << Rows{} << -1;
        QTest::newRow("move rows that are not there: nothing")
            << "move 7,-1>0"
            << "ABC" << Rows{} << 1 << "ABC" << Rows{} << 1;
        QTest::newRow("drop two, in any order") << "drop 2,0"
                                                << "ABCD" << Rows{3} << -1 << "BD" << Rows{1} << -1;
    }
    void onePass() {
        QFETCH(QString, op);
        QFETCH(QString, texts);
        QFETCH(Rows, selected);
        QFETCH(int, currentBefore);
        PhotoListModel list;
        QAbstractItemModelTester tester(&list);
        fill(list, texts, selected, currentBefore);
        apply(list, op);
        QTEST(order(list), "orderAfter");
        QTEST(list.selectedRows(), "selectedAfter");
        QTEST(list.currentRow(), "currentAfter");
    }

    // A spread selection gathers at the top (or bottom) in its old order, then stays put.
    void repeatedPresses_data() {
        QTest::addColumn<bool>("up");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QString>("gathered");
        QTest::addColumn<Rows>("selectedAfter");
        QTest::newRow("up") << true << Rows{2, 5, 7} << "CFHABDEGIJ" << Rows{0, 1, 2};
        QTest::newRow("down") << false << Rows{0, 3, 4} << "BCFGHIJADE" << Rows{7, 8, 9};
    }
    void repeatedPresses() {
        QFETCH(bool, up);
        QFETCH(Rows, selected);
        PhotoListModel list;
        fill(list, QStringLiteral("ABCDEFGHIJ"), selected);
        for (int i = 0; i < 10; ++i)
            press(list, up);
        QTEST(order(list), "gathered");
        QTEST(list.selectedRows(), "selectedAfter");
        const int current = list.currentRow();
        press(list, up);
        QTEST(order(list), "gathered");
        QCOMPARE(list.currentRow(), current);
    }

    // A line break in a name cannot make an entry two rows high; the path itself is kept.
    void showsEachEntryOnOneLine() {
        PhotoListModel list;
        list.append({QStringLiteral("/p/a\nb.png")});
        QCOMPARE(list.index(0).data().toString(), QStringLiteral("/p/a\\nb.png"));
        QCOMPARE(list.paths(), QStringList{QStringLiteral("/p/a\nb.png")});
    }

    // Files dragged from a file manager: the pictures are offered in the order given, as full
    // paths byte for byte; folders and the rest are counted. A move is refused: the file manager
    // would take the files away.
    void dropOffersThePicturesAmongTheFiles_data() {
        QTest::addColumn<QString>("uris");
        QTest::addColumn<QByteArrayList>("pictures");
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("others");
        QTest::newRow("files, a folder and a non-picture")
            << "D/b.jpg\r\nD/sub\r\nD/notes.txt\r\nD/A.PNG\r\n"
            << QByteArrayList{"b.jpg", "A.PNG"} << 1 << 1;
        QTest::newRow("a folder named like a picture") << "D/folder.jpg/\r\n"
                                                       << QByteArrayList{} << 1 << 0;
        QTest::newRow("a name that is not UTF-8") << "D/caf%E9.jpg\r\n"
                                                  << QByteArrayList{"caf\xE9.jpg"} << 0 << 0;
        QTest::newRow("localhost, a comment, no last line break")
            << "# from a file manager\nfile://localhost@D/b.jpg" << QByteArrayList{"b.jpg"} << 0
            << 0;
        QTest::newRow("not files of this machine")
            << "https://example.org/b.jpg\r\nfile://elsewhere@D/b.jpg\r\n"
            << QByteArrayList{} << 0 << 2;
        QTest::newRow("a NUL byte: no file's name, not the name before it")
            << "D/b.jpg%00.txt\r\n"
            << QByteArrayList{} << 0 << 1;
        QTest::newRow("a missing picture, taken by its name as the > button takes it")
            << "D/gone.webp\r\n"
            << QByteArrayList{"gone.webp"} << 0 << 0;
    }
    void dropOffersThePicturesAmongTheFiles() {
        QFETCH(QString, uris);
        QFETCH(QByteArrayList, pictures);
        QTemporaryDir dir;
        const QByteArray folder = nativePath(dir.path());
        for (const char* name : {"b.jpg", "notes.txt", "A.PNG", "caf\xE9.jpg"})
            ::close(::open(folder + '/' + name, O_CREAT | O_WRONLY, 0644));
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        QDir(dir.path()).mkdir(QStringLiteral("folder.jpg"));
        // D stands for the folder's URL, after "file://" and a host, or alone.
        // Alone only at a line's start: the folder itself may end in "D".
        QString list = uris;
        const QString url = QString::fromLatin1(folder.toPercentEncoding("/"));
        list.replace(QRegularExpression(QStringLiteral("(?m)^D/")),
                     QLatin1String("file://") + url + QLatin1Char('/'));
        list.replace(QLatin1String("@D"), url);
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), list.toLatin1());

        PhotoListModel model;
        QVERIFY(!model.canDropMimeData(&data, Qt::MoveAction, -1, -1, {}));
        DroppedFiles offered;
        int offers = 0;
        connect(&model, &PhotoListModel::filesDropped, this, [&](const DroppedFiles& files) {
            offered = files;
            ++offers;
        });
        QVERIFY(model.dropMimeData(&data, Qt::CopyAction, 0, 0, {}));
        QCOMPARE(offers, 1);
        QStringList expected;
        for (const QByteArray& name : pictures)
            expected << pathFromNative(folder + '/' + name);
        QCOMPARE(offered.pictures, expected);
        QTEST(offered.folders, "folders");
        QTEST(offered.others, "others");
        // The window appends them; the model does not.
        QCOMPARE(model.count(), 0);
    }

    // The largest list the window holds; more entries cannot be addressed.
    void tooManyEntries() {
        PhotoListModel list;
        QStringList texts;
        for (int i = 0; i < 32768; ++i)
            texts.append(QString::number(i));
        list.append(texts);
        list.setSelected(5, true);
        try {
            list.moveSelectedUp();
            QFAIL("no overflow raised");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), 6);
        }
        QCOMPARE(list.paths()[5], QStringLiteral("5"));
        QVERIFY(list.isSelected(5));
    }
};

QTEST_GUILESS_MAIN(TestPhotoListModel)
#include "test_photolistmodel.moc"
