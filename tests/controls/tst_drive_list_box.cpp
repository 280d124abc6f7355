#include "controls/drive_list_box.h"
#include "controls/file_names.h"
#include "controls/mount_table.h"

#include <QSignalSpy>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::vector<controls::Drive> madeUpDrives() {
    return {{"/", {}},
            {"/home", QStringLiteral("HOME")},
            {"/media/usb", QStringLiteral("PHOTOS")},
            {"/media/usb/inner", {}},
            {"/mnt/nas/", QStringLiteral("//nas/photos")}};
}

} // namespace

class TestDriveListBox : public QObject {
    Q_OBJECT

private slots:
    void driveOf_data();
    void driveOf();
    void driveOfNothing();
    void showsRootAndLabel();
    void setDriveNotifiesOnlyOnChange_data();
    void setDriveNotifiesOnlyOnChange();
    void pathOnNoDriveKeepsTheDrive();
    void choosingAnEntryNotifies();
    void parsesTheMountTable();
    void browsableMounts_data();
    void browsableMounts();
    void machineHasARoot();
};

void TestDriveListBox::driveOf_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("root");

    QTest::newRow("a file under the root only") << "/etc/passwd"
                                                << "/";
    QTest::newRow("the root itself") << "/"
                                     << "/";
    QTest::newRow("a path equal to a drive's root") << "/home"
                                                    << "/home";
    QTest::newRow("equal to a root, with a trailing separator") << "/home/"
                                                                << "/home";
    QTest::newRow("inside home") << "/home/ana/photos"
                                 << "/home";
    QTest::newRow("a name that only starts like a root") << "/home2/ana"
                                                         << "/";
    QTest::newRow("longest of two nested roots") << "/media/usb/inner/x.jpg"
                                                 << "/media/usb/inner";
    QTest::newRow("the outer of two nested roots") << "/media/usb/other"
                                                   << "/media/usb";
    QTest::newRow("a sibling of a nested root") << "/media/usb/inner2"
                                                << "/media/usb";
    QTest::newRow("a root written with a trailing separator") << "/mnt/nas/2023"
                                                              << "/mnt/nas/";
    QTest::newRow("dot-dot leaving a drive") << "/media/usb/../cdrom"
                                             << "/";
    QTest::newRow("repeated separators") << "/media//usb///a"
                                         << "/media/usb";
}

void TestDriveListBox::driveOf() {
    QFETCH(QString, path);
    QFETCH(QString, root);
    const std::vector<controls::Drive> drives = madeUpDrives();
    const controls::Drive *found = controls::driveOf(drives, path.toStdString());
    QVERIFY2(found, qPrintable(path));
    QCOMPARE(controls::displayName(found->root), root);
}

void TestDriveListBox::driveOfNothing() {
    const std::vector<controls::Drive> drives{{"/media/usb", {}}, {"/home", {}}};
    QVERIFY(!controls::driveOf(drives, "/etc"));
    QVERIFY(!controls::driveOf(drives, "relative/home"));
    QVERIFY(!controls::driveOf({}, "/"));
}

void TestDriveListBox::showsRootAndLabel() {
    controls::DriveListBox box;
    box.setDrives(madeUpDrives());
    QCOMPARE(box.count(), 5);
    QCOMPARE(box.itemText(0), QStringLiteral("/"));
    QCOMPARE(box.itemText(2), QStringLiteral("/media/usb [PHOTOS]"));
}

void TestDriveListBox::setDriveNotifiesOnlyOnChange_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("changes");

    QTest::newRow("another folder on the same drive") << "/home/a"
                                                      << "/home/b"
                                                      << "/home" << 1;
    QTest::newRow("the same folder again") << "/home/a"
                                           << "/home/a"
                                           << "/home" << 1;
    QTest::newRow("a folder on another drive") << "/home/a"
                                               << "/media/usb/x"
                                               << "/media/usb" << 2;
    QTest::newRow("a nested drive") << "/media/usb"
                                    << "/media/usb/inner"
                                    << "/media/usb/inner" << 2;
    QTest::newRow("the root drive") << "/home/a"
                                    << "/tmp"
                                    << "/" << 2;
    QTest::newRow("an empty path keeps the drive") << "/home/a"
                                                   << ""
                                                   << "/home" << 1;
}

void TestDriveListBox::setDriveNotifiesOnlyOnChange() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, shown);
    QFETCH(int, changes);

    controls::DriveListBox box;
    box.setDrives(madeUpDrives());
    QSignalSpy spy(&box, &controls::DriveListBox::change);
    box.setDrive(first.toStdString());
    box.setDrive(second.toStdString());
    QCOMPARE(controls::displayName(box.drive()), shown);
    QCOMPARE(box.currentText().section(u' ', 0, 0), shown);
    QCOMPARE(spy.count(), changes);
}

void TestDriveListBox::pathOnNoDriveKeepsTheDrive() {
    controls::DriveListBox box;
    box.setDrives({{"/media/usb", {}}, {"/home", {}}});
    box.setDrive("/home/ana");
    QSignalSpy spy(&box, &controls::DriveListBox::change);
    box.setDrive("/etc");
    QCOMPARE(box.drive(), fs::path("/home"));
    QCOMPARE(box.currentIndex(), 1);
    QCOMPARE(spy.count(), 0);
}

void TestDriveListBox::choosingAnEntryNotifies() {
    controls::DriveListBox box;
    box.setDrives(madeUpDrives());
    box.setDrive("/home/ana");
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy spy(&box, &controls::DriveListBox::change);

    // The list shows /home (index 1); Down chooses /media/usb.
    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(box.drive(), fs::path("/media/usb"));
    QCOMPARE(spy.count(), 1);

    // Code answering the notification may put the drive back; that notifies once more and
    // leaves the list on the drive put back.
    connect(&box, &controls::DriveListBox::change, &box, [&box] {
        if (box.drive() == fs::path("/media/usb/inner"))
            box.setDrive("/home/ana");
    });
    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(box.drive(), fs::path("/home"));
    QCOMPARE(box.currentIndex(), 1);
    QCOMPARE(spy.count(), 3);
}

void TestDriveListBox::parsesTheMountTable() {
    const QByteArray table =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "40 27 8:17 / /media/ana/MY\\040PHOTOS rw shared:5 master:1 - vfat /dev/sdb1 rw\n"
        "41 27 8:18 / /mnt/back\\134slash rw - ext4 /dev/sdb2 rw\n"
        "garbage line\n"
        "\n"
        "42 27 8:19 / /mnt/over rw - ext4 /dev/sdc1 rw\n"
        "43 27 0:50 / /mnt/over rw - nfs4 nas:/photos rw\n";
    const std::vector<controls::Mount> mounts = controls::parseMountInfo(table);
    QCOMPARE(mounts.size(), std::size_t(5));
    QCOMPARE(QString::fromStdString(mounts[0].point), QStringLiteral("/proc"));
    QCOMPARE(QString::fromStdString(mounts[0].type), QStringLiteral("proc"));
    QCOMPARE(QString::fromStdString(mounts[2].point), QStringLiteral("/media/ana/MY PHOTOS"));
    QCOMPARE(QString::fromStdString(mounts[2].source), QStringLiteral("/dev/sdb1"));
    QCOMPARE(QString::fromStdString(mounts[3].point), QStringLiteral("/mnt/back\\slash"));
    QCOMPARE(QString::fromStdString(mounts[4].point), QStringLiteral("/mnt/over"));
    QCOMPARE(QString::fromStdString(mounts[4].type), QStringLiteral("nfs4"));
}

void TestDriveListBox::browsableMounts_data() {
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("browsable");

    QTest::newRow("the root on a disk") << "/"
                                        << "ext4"
                                        << "/dev/sda2" << true;
    QTest::newRow("the root in a container") << "/"
                                             << "overlay"
                                             << "overlay" << true;
    QTest::newRow("home on its own partition") << "/home"
                                               << "btrfs"
                                               << "/dev/sda3" << true;
    QTest::newRow("a stick under /media") << "/media/ana/PHOTOS"
                                          << "vfat"
                                          << "/dev/sdb1" << true;
    QTest::newRow("a stick under /run/media") << "/run/media/ana/CARD"
                                              << "exfat"
                                              << "/dev/sdc1" << true;
    QTest::newRow("an NTFS disk through FUSE") << "/mnt/win"
                                               << "fuseblk"
                                               << "/dev/sda1" << true;
    QTest::newRow("a network share") << "/mnt/nas"
                                     << "nfs4"
                                     << "nas:/photos" << true;
    QTest::newRow("a Windows share") << "/mnt/office"
                                     << "cifs"
                                     << "//srv/share" << true;
    QTest::newRow("a share over ssh") << "/home/ana/remote"
                                      << "fuse.sshfs"
                                      << "ana@host:" << true;
    QTest::newRow("a ZFS data set") << "/tank/photos"
                                    << "zfs"
                                    << "tank/photos" << true;
    QTest::newRow("a home in memory") << "/home"
                                      << "tmpfs"
                                      << "tmpfs" << true;
    QTest::newRow("temporary files in memory") << "/tmp"
                                               << "tmpfs"
                                               << "tmpfs" << false;
    QTest::newRow("memory elsewhere") << "/mnt/scratch"
                                      << "tmpfs"
                                      << "tmpfs" << false;
    QTest::newRow("proc") << "/proc"
                          << "proc"
                          << "proc" << false;
    QTest::newRow("sysfs") << "/sys"
                           << "sysfs"
                           << "sysfs" << false;
    QTest::newRow("cgroups") << "/sys/fs/cgroup"
                             << "cgroup2"
                             << "cgroup2" << false;
    QTest::newRow("device nodes") << "/dev"
                                  << "devtmpfs"
                                  << "udev" << false;
    QTest::newRow("pseudo terminals") << "/dev/pts"
                                      << "devpts"
                                      << "devpts" << false;
    QTest::newRow("the runtime folder") << "/run"
                                        << "tmpfs"
                                        << "tmpfs" << false;
    QTest::newRow("a desktop's virtual folders") << "/run/user/1000/gvfs"
                                                 << "fuse.gvfsd-fuse"
                                                 << "gvfsd-fuse" << false;
    QTest::newRow("a package image") << "/snap/core/123"
                                     << "squashfs"
                                     << "/dev/loop3" << false;
    QTest::newRow("a package image elsewhere") << "/apps/core"
                                               << "squashfs"
                                               << "/dev/loop4" << false;
    QTest::newRow("the boot partition") << "/boot/efi"
                                        << "vfat"
                                        << "/dev/sda1" << false;
    QTest::newRow("a container's file") << "/etc/hosts"
                                        << "ext4"
                                        << "/dev/vda" << false;
    QTest::newRow("a container layer") << "/var/lib/docker/overlay2/x/merged"
                                       << "overlay"
                                       << "overlay" << false;
    QTest::newRow("an automount trigger") << "/mnt/auto"
                                          << "autofs"
                                          << "systemd-1" << false;
    QTest::newRow("an overlay outside the system folders") << "/mnt/merged"
                                                           << "overlay"
                                                           << "overlay" << false;
    QTest::newRow("a folder that only starts like /run") << "/runner"
                                                         << "ext4"
                                                         << "/dev/sdd1" << true;
}

void TestDriveListBox::browsableMounts() {
    QFETCH(QString, point);
    QFETCH(QString, type);
    QFETCH(QString, source);
    QFETCH(bool, browsable);
    const controls::Mount mount{point.toStdString(), type.toStdString(), source.toStdString()};
    QCOMPARE(controls::isBrowsable(mount), browsable);
}

void TestDriveListBox::machineHasARoot() {
    const std::vector<controls::Drive> drives = controls::systemDrives();
    QVERIFY(!drives.empty());
    QVERIFY2(controls::driveOf(drives, fs::current_path()), "the working folder is on no drive");
    for (const controls::Drive &drive : drives)
        QVERIFY2(drive.root.is_absolute(), qPrintable(controls::displayName(drive.root)));
}

QTEST_MAIN(TestDriveListBox)
#include "tst_drive_list_box.moc"
