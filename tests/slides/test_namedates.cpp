#include "slides/namedates.h"

#include <QTest>

using namespace slidemill;

class TestNameDates : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
};

// Names as phones, cameras and messengers write them, each row named by its file name; what
// only looks like a date, or writes one that is not on the calendar, gives none.
void TestNameDates::names_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // "yyyy-MM-dd HH:mm:ss", the day alone, or none

    const QString day = QStringLiteral("2025-07-12 10:15:02");
    const QString shot = QStringLiteral("2025-07-14 10:15:02");
    const QString sent = QStringLiteral("2025-07-13 10:15:02");
    const std::pair<QString, QString> rows[] = {
        {"IMG_20250712_101502.jpg", day},
        {"img_20250712_101502_HDR.JPG", day},
        {"MVIMG_20250712_101502.jpg", day},
        {"PANO_20250712_101502.jpg", day},
        {"PXL_20250712_101502123.MP.jpg", day},
        {"20250712_101502(0).jpg", day},
        {"DJI_20250712101502_0001_D.JPG", day},
        {"Dropbox/2025-07-12 10.15.02.jpg", day},
        {"Screenshot_20250714-101502_Chrome.jpg", shot},
        {"Screenshot_2025-07-14-10-15-02-123_com.miui.home.jpg", shot},
        {"Screenshot 2025-07-14 at 10.15.02.png", shot},
        {"Screenshot 2025-07-14 101502.png", shot},
        {"WIN_20250714_10_15_02_Pro.jpg", shot},
        {"Photo 2025-07-14 10 15 02.jpg", shot},
        {"Screen Shot 2020-07-14 at 10.15.02 PM.png", "2020-07-14 22:15:02"},
        {"Screenshot 2025-07-14 at 12.15.02\u202FAM.png", "2025-07-14 00:15:02"},
        {"Screenshot 2025-07-14.png", "2025-07-14"},
        {"IMG-20250713-WA0001.jpg", "2025-07-13"},
        {"WhatsApp Image 2025-07-13 at 10.15.02 (1).jpeg", sent},
        {"signal-2025-07-13-101502.jpg", sent},
        {"signal-2025-07-13-10-15-02-123.jpg", sent},
        {"photo_2025-07-13_10-15-02.jpg", sent},
        {"1990-01-01 00.00.00.jpg", "1990-01-01 00:00:00"},
        {"IMG_20240229_235959.jpg", "2024-02-29 23:59:59"},
        {"IMG_20990712_101502 caf" + QString(QChar(0xDCE9)) + ".jpg", "2099-07-12 10:15:02"},
        {"IMG_99999999.jpg", ""},
        {"DSC_1234.JPG", ""},
        {"20251340_101502.jpg", ""},
        {"IMG_20250230_101502.jpg", ""},
        {"IMG_20250229_101502.jpg", ""},
        {"IMG_20250712_241502.jpg", ""},
        {"IMG_20250712_106002.jpg", ""},
        {"IMG_20250712_101560.jpg", ""},
        {"IMG_19891231_235959.jpg", ""},
        {"IMG_21000101_000000.jpg", ""},
        {"IMG_20250712_1015021234.jpg", ""},
        {"Screen Shot 2020-07-14 at 13.15.02 PM.png", ""},
        {"Screenshot 2025-07-14 at 25.15.02.png", ""},
        {"Copy of IMG_20250712_101502.jpg", ""},
        {"2025-07-12 10.15.02/DSC_1234.jpg", ""},
    };
    for (const auto& [path, expected] : rows)
        QTest::newRow(qPrintable(path)) << path << expected;
}

void TestNameDates::names() {
    QFETCH(QString, path);
    const PhotoDate when = nameDate(path);
    QString got = when.day.toString(Qt::ISODate);
    if (when.time.isValid())
        got += QLatin1Char(' ') + when.time.toString(Qt::ISODate);
    QTEST(got, "expected");
}

QTEST_APPLESS_MAIN(TestNameDates)
#include "test_namedates.moc"
