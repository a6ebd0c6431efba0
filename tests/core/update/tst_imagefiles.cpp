#include "shell/shellstate.h"
#include "update/imagefiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace keldor;

class TestImageFiles : public QObject {
    Q_OBJECT

private slots:
    void maskByTargetAndModel_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("mask");
        QTest::newRow("controller, 12 channels") << 132 << 0 << "KELDOR_FW*.UC3";
        QTest::newRow("controller, 16 channels") << 132 << 3 << "KELDOR_FW*.UC3";
        QTest::newRow("fpga, 12 channels") << 137 << 0 << "KELDOR_FPGA*.RBF";
        QTest::newRow("fpga, 8 channels") << 137 << 1 << "KELDOR_FPGA*.RBF";
        QTest::newRow("fpga, 16 channels") << 137 << 3 << "VANTIS_FPGA*.RBF";
    }
    void maskByTargetAndModel()
    {
        QFETCH(int, target);
        QFETCH(int, variant);
        QFETCH(QString, mask);
        QCOMPARE(image_mask(static_cast<quint8>(target), variant), mask);
    }

    void maskMatching_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("plain") << "KELDOR_FW_1.05.UC3" << true;
        QTest::newRow("nothing between") << "KELDOR_FW.UC3" << true;
        QTest::newRow("lower case copy") << "keldor_fw_2.1.uc3" << true;
        QTest::newRow("backup suffix") << "KELDOR_FW_1.05.UC3.bak" << false;
        QTest::newRow("prefix") << "OLD_KELDOR_FW_1.05.UC3" << false;
        QTest::newRow("fpga image") << "KELDOR_FPGA_1.06.RBF" << false;
    }
    void maskMatching()
    {
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(mask_matches(QStringLiteral("KELDOR_FW*.UC3"), name), matches);
    }

    void newestFirst()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const auto make = [&](const QString &name, int ageSeconds) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("image");
            file.flush();
            QVERIFY(file.setFileTime(now.addSecs(-ageSeconds), QFileDevice::FileModificationTime));
        };
        make(QStringLiteral("KELDOR_FW_1.03.UC3"), 300);
        make(QStringLiteral("keldor_fw_1.05.uc3"), 10);
        make(QStringLiteral("KELDOR_FW_1.04.UC3"), 100);
        make(QStringLiteral("KELDOR_FPGA_1.06.RBF"), 1);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("KELDOR_FW_folder.UC3")));

        const QString mask = image_mask(updateTargetController, 0);
        QCOMPARE(matching_images(dir.path(), mask),
                 (QStringList{"keldor_fw_1.05.uc3", "KELDOR_FW_1.04.UC3", "KELDOR_FW_1.03.UC3"}));
        QCOMPARE(newest_image(dir.path(), mask),
                 dir.filePath(QStringLiteral("keldor_fw_1.05.uc3")));
        QCOMPARE(newest_image(dir.path(), image_mask(updateTargetQamFpga, 3)), QString());
    }

    void onlyAPrivateFolderIsTrusted_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("foreign");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("own, only the owner writes") << 0755 << false << true;
        QTest::newRow("own, group may write") << 0775 << false << false;
        QTest::newRow("own, others may write") << 0757 << false << false;
        QTest::newRow("anybody may add, sticky") << 01777 << false << false;
        QTest::newRow("another user's") << 0755 << true << false;
    }
    void onlyAPrivateFolderIsTrusted()
    {
        QFETCH(int, mode);
        QFETCH(bool, foreign);
        QFETCH(bool, trusted);
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path());
        if (foreign && ::chown(path.constData(), 65534, gid_t(-1)) != 0)
            QSKIP("only root can give a folder to another user");
        QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
        QCOMPARE(folder_is_private(dir.path()), trusted);
    }
};

QTEST_GUILESS_MAIN(TestImageFiles)
#include "tst_imagefiles.moc"
