#include "browser/systemvolumes.h"
#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace slidemill;

using Names = QStringList;
using Labels = QHash<QString, QString>;

class TestBrowserVolumes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Which mounts of a machine's table the drive list shows, and by what name.
    void browsable_data() {
        QTest::addColumn<QByteArray>("mountinfo");
        QTest::addColumn<Names>("shown");   // "name mount point"
        QTest::addColumn<Labels>("labels"); // device to volume label

        const QByteArray desktop =
            "22 27 0:21 / /proc rw - proc proc rw\n"
            "23 27 0:22 / /sys rw - sysfs sysfs rw\n"
            "24 27 0:6 / /dev rw - devtmpfs udev rw\n"
            "25 24 0:23 / /dev/shm rw - tmpfs tmpfs rw\n"
            "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
            "28 27 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
            "29 27 8:3 / /home rw shared:5 - ext4 /dev/sda3 rw\n"
            "30 27 0:40 / /tmp rw - tmpfs tmpfs rw\n"
            "31 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
            "32 27 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n"
            "33 32 0:46 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
            "34 27 8:17 / /run/media/ann/My\\040Stick rw - vfat /dev/sdb1 rw\n"
            "35 27 0:50 / /mnt/nas rw - nfs4 nas:/photos rw\n"
            "36 27 0:51 / /media/cd ro - iso9660 /dev/sr0 ro\n"
            "37 27 8:2 /etc/hosts /etc/hosts rw - ext4 /dev/sda2 rw\n";
        QTest::newRow("desktop") << desktop
                                 << Names{"sda2 /", "sda3 /home", "sdb1 /run/media/ann/My Stick",
                                          "nas:/photos /mnt/nas", "sr0 /media/cd"}
                                 << Labels{};
        // A label names the volume instead of its device.
        QTest::newRow("labelled") << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                                "2 1 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n")
                                  << Names{"sda1 /", "HOLIDAY /media/usb"}
                                  << Labels{{"/dev/sdb1", "HOLIDAY"}};

        // A container's root is an overlay; it is still the root.
        QTest::newRow("container root")
            << QByteArray("1 0 0:30 / / rw - overlay overlay rw,lowerdir=/x\n"
                          "2 1 0:31 / /proc rw - proc proc rw\n")
            << Names{"overlay /"} << Labels{};

        // A later mount on the same folder hides the earlier one.
        QTest::newRow("stacked") << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                               "2 1 8:5 / /data rw - ext4 /dev/sdc1 rw\n"
                                               "3 1 8:6 / /data rw - xfs /dev/sdd1 rw\n")
                                 << Names{"sda1 /", "sdd1 /data"} << Labels{};

        // A mount point that is not UTF-8 keeps its bytes.
        QTest::newRow("not UTF-8")
            << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                          "2 1 8:17 / /media/caf\\351 rw - vfat /dev/sdb1 rw\n")
            << Names{"sda1 /", "sdb1 " + pathFromNative("/media/caf\xe9")} << Labels{};

        QTest::newRow("malformed lines skipped")
            << QByteArray("garbage\n1 0 8:1 / / rw - ext4 /dev/sda1 rw\n7 1 8:1 / /x rw\n\n")
            << Names{"sda1 /"} << Labels{};
    }
    void browsable() {
        QFETCH(QByteArray, mountinfo);
        QFETCH(Labels, labels);
        Names shown;
        for (const Volume& v : browsableVolumes(parseMountInfo(mountinfo), labels))
            shown << v.name + QLatin1Char(' ') + v.mountPoint;
        QTEST(shown, "shown");
    }

    void volumeHoldingIsLongestMountPoint_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("holder");
        QTest::newRow("home") << "/home/ann/Pictures" << 1;
        QTest::newRow("home itself") << "/home" << 1;
        QTest::newRow("prefix of a name is not a folder") << "/homework" << 0;
        QTest::newRow("stick") << "/media/usb/dcim" << 2;
        QTest::newRow("root") << "/" << 0;
    }
    void volumeHoldingIsLongestMountPoint() {
        QFETCH(QString, path);
        const QList<Volume> volumes = {{"root", "/"}, {"home", "/home"}, {"stick", "/media/usb"}};
        QTEST(int(volumeHolding(volumes, path)), "holder");
    }

    // On this machine: the root is listed, a folder that is not mounted is unavailable, and
    // the root's current folder is the working folder when no other listed volume holds it.
    void systemVolumes() {
        SystemVolumes volumes;
        const QList<Volume> list = volumes.list();
        QVERIFY(volumeHolding(list, QStringLiteral("/")) >= 0);

        QTemporaryDir tmp;
        try {
            volumes.currentFolder(tmp.path());
            QFAIL("no error for a folder that is not mounted");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.number(), int(errDeviceUnavailable));
        }

        const qsizetype holder = volumeHolding(list, QDir::currentPath());
        const QString mountPoint = list[holder].mountPoint;
        QCOMPARE(volumes.currentFolder(mountPoint), QDir::currentPath());
        for (const Volume& v : list) {
            if (v.mountPoint != mountPoint && QDir(v.mountPoint).isReadable())
                QCOMPARE(volumes.currentFolder(v.mountPoint), v.mountPoint);
        }
    }
};

QTEST_MAIN(TestBrowserVolumes)
#include "test_browservolumes.moc"
