#include "core/features/update/backup.h"
#include "core/features/update/imagefiles.h"
#include "core/protocol/parameters.h"

#include "core/features/report/rtfreport.h"
#include "core/features/shell/shellstate.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"

#include "datarows.h"
#include "files.h"
#include "recordingupdateview.h"
#include "sessionfixture.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

using namespace keldor;
using namespace std::chrono_literals;
using Kind = sim::TranscriptEntry::Kind;
using Answer = UserInterface::Answer;
using R = UploadResult;

namespace {

// clang-format off
const QString stopAnyway = QStringLiteral("The headend is already taking the image and waits for all of it; whatever it receives "
    "next is stored as image data.\rStop anyway? The connection is closed at once, and the headend must be restarted before it is used again.");
const QString abandoned = QStringLiteral("The update was stopped and the connection to the headend closed.\rThe headend is still "
    "waiting for the rest of the image and must be restarted (switched off and on again) before it is used again.");
const QString notSaved = QStringLiteral("The headend's configuration could not be saved before the update:\rdisk full\rUpdate anyway?");
const QString nothingSent = QStringLiteral("\rNothing was sent to the headend.");
// clang-format on

QByteArray randomBytes(qsizetype size)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

// The image is checked before the backup, the backup taken before the first byte goes out. Every
// attempt (starts; -1: 2 to 4, as many as fit in the window of the first) sends the start frame
// (code 0x84 controller, 0x89 FPGA; length as it carries it, nullptr: no file) and the file from
// its first byte. Before the headend has taken a start frame a cancel costs nothing; afterwards
// it waits for the whole image, so stopping closes the link. cancelAt 0: during the backup.
// clang-format off
struct UploadRow { const char *name; int code; const char *length; int starts; const char *sent; R result; QString texts;
    int unanswered = 0; int cancelAt = -1; Answer answer = Answer::Ok; bool confirm = true; const char *backupError = nullptr; };
const UploadRow uploadRows[] = {
    {"no image chosen", 0x84, "", 0, "", R::NotStarted, "No image file was chosen." + nothingSent},
    {"missing image", 0x84, nullptr, 0, "", R::NotStarted, "The image file %1 does not exist." + nothingSent},
    {"32768 blocks", 0x84, "01FFFC01", 0, "", R::NotStarted,
     "The image file %1 holds 32768 blocks of 1024 bytes; the headend takes at most 32767." + nothingSent},
    {"one byte", 0x84, "00000001", 1, "1", R::Succeeded, ""},
    {"1025 bytes", 0x84, "00000401", 1, "1024 1", R::Succeeded, ""},
    {"three blocks, FPGA", 0x89, "00000C00", 1, "1024 1024 1024", R::Succeeded, ""},
    {"first start frame unanswered", 0x84, "00000805", 2, "1024 1024 5", R::Succeeded, "", 1},
    {"none answered, largest image", 0x84, "01FFFC00", -1, "", R::Failed, "An error occured while sending, data may be lost\rPlease try again.", -1},
    {"cancel during the backup", 0x89, "00001400", 0, "", R::Cancelled, "The update was cancelled before the whole image was sent.\rPlease run the update again.", 0, 0},
    {"cancel after block 2, stop", 0x89, "00001400", 1, "1024 1024", R::Abandoned, stopAnyway + '\n' + abandoned, 0, 2},
    {"cancel after block 2, go on", 0x89, "00001400", 1, "1024 1024 1024 1024 1024", R::Succeeded, stopAnyway, 0, 2, Answer::Cancel},
    {"cancel as the last word", 0x89, "00001400", 1, "1024 1024", R::Abandoned, abandoned, 0, 2, Answer::Ok, false},
    {"backup refused, cancel", 0x84, "00000064", 0, "", R::NotStarted, notSaved, 0, -1, Answer::Cancel, true, "disk full"},
    {"backup refused, update anyway", 0x84, "00000064", 1, "100", R::Succeeded, notSaved, 0, -1, Answer::Ok, true, "disk full"},
};

// The "EN" that ends storing may come late: the warnings and the running clock stay up until
// it does. A headend that never takes the store command or never ends storing is an error.
// message: the start of the only one.
struct StoreRow { const char *name; int unanswered; std::chrono::milliseconds endLimit; const char *message, *afterWarning; };
const StoreRow storeRows[] = {
    {"EN", 0, 2s, "", "timer on,title Update,line0 ,line1 ,timer off"},
    {"store command unanswered", -1, 2s, "Flash Error: An error occured while flashing, data may be lost\rPlease try again.", "timer off"},
    {"storing never ends", 0, 1ms, "Flash Error: The headend did not report the end of storing", "timer on,timer off"},
};

// The newest image whose name fits the update target and the connected model, whatever the
// case of its name; a name that merely contains the mask is no image. matching: newest first.
// Anybody else who may add files to the folder could have put the newest image there.
struct ImageRow { const char *name; quint8 target; int variant; const char *matching; mode_t mode; bool foreign, trusted; };
const ImageRow imageRows[] = {
    {"controller, only the owner writes", updateTargetController, 0, "keldor_fw_1.05.uc3 KELDOR_FW_1.04.UC3 KELDOR_FW_1.03.UC3", 0755, false, true},
    {"controller, 16 channels, group may write", updateTargetController, 3, "keldor_fw_1.05.uc3 KELDOR_FW_1.04.UC3 KELDOR_FW_1.03.UC3", 0775, false, false},
    {"FPGA, 12 channels, others may write", updateTargetQamFpga, 0, "KELDOR_FPGA_1.06.RBF", 0757, false, false},
    {"FPGA, 8 channels", updateTargetQamFpga, 1, "KELDOR_FPGA_1.06.RBF", 0700, false, true},
    {"FPGA, 16 channels", updateTargetQamFpga, 3, "VANTIS_FPGA_1.01.RBF", 0700, false, true},
    {"another user's folder", updateTargetQamFpga, 0, "KELDOR_FPGA_1.06.RBF", 0755, true, false},
};
const std::pair<const char *, int> imageAges[] = {
    {"KELDOR_FW_1.03.UC3", 300}, {"keldor_fw_1.05.uc3", 10}, {"KELDOR_FW_1.04.UC3", 100}, {"KELDOR_FW_1.06.UC3.bak", 0},
    {"OLD_KELDOR_FW_1.07.UC3", 0}, {"KELDOR_FPGA_1.06.RBF", 1}, {"VANTIS_FPGA_1.01.RBF", 200}};
// clang-format on

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_f.emplace();
        QVERIFY(m_f->start());
        m_f->sim.headend.setTiming({.rawTimeout = {}, .storeDelay = 20ms});
        m_view.emplace();
    }

    void upload_data() { addRows(uploadRows); }
    void upload()
    {
        const UploadRow &r = fetchRow(uploadRows);
        m_f->sim.headend.setFault({sim::Fault::DropAnswer, 0x84, r.unanswered});
        m_f->ui.answers = {r.answer};
        m_view->confirmCancel = r.confirm;
        m_view->onBlock = [&](int k) {
            m_view->cancel = k == r.cancelAt;
        };
        qsizetype heardBeforeBackup = -1; // stays -1 when no backup is taken
        const BackupHook backup = [&] {
            heardBeforeBackup = m_f->sim.headend.transcript().size();
            m_view->cancel = r.cancelAt == 0;
            return BackupResult{r.backupError ? "" : "/tmp/b.kdr", r.backupError};
        };
        const QString path = r.length && !*r.length ? QString() : m_dir->filePath("image.bin");
        const QByteArray image = randomBytes(QByteArray(r.length).toLongLong(nullptr, 16));
        QVERIFY(!r.length || !*r.length || writeFile(path, image));
        const bool fw = r.code == 0x84;
        const R result = (fw ? updateFw : updateFpga)(m_f->session, *m_view, path, backup);
        QCOMPARE(result, r.result);
        QCOMPARE(m_f->ui.texts().join('\n'), QString(r.texts).replace("%1", path));
        const bool backedUp = result != R::NotStarted || r.backupError;
        QCOMPARE(heardBeforeBackup, backedUp ? 0 : -1);
        QCOMPARE(m_view->backupFile, backedUp && !r.backupError ? "/tmp/b.kdr" : QString());
        QCOMPARE(m_view->log.isEmpty(), result == R::NotStarted);
        const auto starts = m_f->sim.frames(r.code);
        QVERIFY(r.starts >= 0 ? starts.size() == r.starts
                              : starts.size() >= 2 && starts.size() <= 4);
        for (const auto &start : starts)
            QCOMPARE(start.bytes.toHex().toUpper(),
                     "00" + QByteArray::number(r.code, 16).toUpper() + r.length + "00000000");
        QStringList sent;
        for (const auto &entry : m_f->sim.headend.transcript())
            sent.append(entry.kind == Kind::Raw ? QString::number(entry.bytes.size()) : QString());
        QCOMPARE(sent.join(' ').simplified(), QString::fromLatin1(r.sent));
        const bool done = result == R::Succeeded;
        QCOMPARE(
            m_f->sim.headend.image(fw ? sim::UploadTarget::Controller : sim::UploadTarget::Fpga),
            done ? image : QByteArray());
        if (done) { // the bar empties unless storing follows
            QCOMPARE(m_view->toolbar.last(),
                     fw ? UpdateView::Toolbar::Idle : UpdateView::Toolbar::Storing);
            QCOMPARE(m_view->percentages.last(), fw ? "0%" : " 100%");
        }
        // Only an abandoned upload takes the link away; after a failure the restart wait follows.
        QCOMPARE(m_f->session.lan.isOpen(), result != R::Abandoned);
        if (result != R::NotStarted)
            QCOMPARE(m_f->ui.keepAliveRunning, done || result == R::Cancelled);
        QVERIFY(!m_view->timerRunning && m_f->ui.busyDepth == 0);
    }

    // Over the serial line the headend still waits after an abandoned upload. What it gets next
    // completes the image unchanged only if the program sent nothing more, not even the closing
    // frame with which a window or keldor-ctl ends its session.
    void nothingFollowsAnAbandonedUpload()
    {
        QVERIFY2(m_f->sim.offerPty(m_f->session), qPrintable(m_f->sim.pty.errorString()));
        QVERIFY(checkDevicePresent(m_f->session));
        m_view->onBlock = [this](int k) {
            m_view->cancel = k == 2;
        };
        const QByteArray image = randomBytes(5 * 1024);
        const QString path = m_dir->filePath("image.bin");
        QVERIFY(writeFile(path, image));
        QCOMPARE(updateFw(m_f->session, *m_view, path), R::Abandoned);
        QVERIFY(!m_f->session.serial.isOpen());
        QVERIFY(!endSession(m_f->session.exchange));
        QFile line(m_f->sim.pty.slavePath());
        QVERIFY(line.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QCOMPARE(line.write(image.mid(2 * 1024)), image.size() - 2 * 1024);
        QTRY_COMPARE(m_f->sim.headend.image(sim::UploadTarget::Controller), image);
    }

    void storeAfterTheTransfer_data() { addRows(storeRows); }
    void storeAfterTheTransfer()
    {
        const StoreRow &r = fetchRow(storeRows);
        m_f->session.timing.storeEndLimit = r.endLimit;
        m_f->sim.headend.setFault({sim::Fault::DropAnswer, 0x8B, r.unanswered});
        QStringList shown;
        m_view->onBlock = [&](int) {
            shown.append(m_f->ui.panels[1]);
        };
        const QString path = m_dir->filePath("image.bin");
        QVERIFY(writeFile(path, randomBytes(3 * 1024)));
        const R result = updateFpga(m_f->session, *m_view, path);
        QCOMPARE(result, *r.message ? R::Failed : R::Succeeded);
        QCOMPARE((m_view->percentages + shown.mid(1) << m_f->ui.panels[1]).join('|'),
                 "0%| 33%| 66%| 100%|Sending Block  1  of  3|Sending Block  2  of  3|");
        const auto t = m_f->sim.headend.transcript();
        const auto store = std::find_if(t.begin(), t.end(), [](const auto &e) {
            return e.kind == Kind::Frame && e.code() == 0x8B;
        });
        QVERIFY(store != t.end() && std::prev(store)->kind == Kind::UploadDone);
        QCOMPARE(store->bytes, QByteArray::fromHex("008B0000000000000000"));
        QCOMPARE(m_f->sim.frames(0x8B).size() > 1, r.unanswered != 0);
        const auto message = m_f->ui.messages.value(0);
        QVERIFY(m_f->ui.messages.size() == (*r.message ? 1 : 0) &&
                (message.title + ": " + message.text).startsWith(QLatin1String(r.message)));
        QStringList after =
            m_view->log.mid(m_view->log.indexOf(QRegularExpression("line1 ATTENTION!.*")) + 1);
        for (QString &line : after)
            line = line.section(' ', 0, 1);
        QCOMPARE(after.join(','), QString::fromLatin1(r.afterWarning));
        QVERIFY(!m_view->progressVisible);
        QCOMPARE(m_view->toolbar.last(), UpdateView::Toolbar::Storing);
        QCOMPARE(m_f->ui.keepAliveRunning, result == R::Succeeded);
    }

    // The one backup writer: UTC names, a name of its own beside the backups of that second
    // (taken by a settings file, or only by a report), both files from one read with the
    // selections, and no word to the operator: no window shows the reading.
    void backupKeepsEveryEarlierOne()
    {
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7), QTimeZone(3600));
        QCOMPARE(backupFileName("backup", when) + backupFileName("rack", when, 2),
                 "backup-20260304-040607.kdrrack-20260304-040607_2.kdr");
        sim::DeviceState &state = m_f->sim.headend.state();
        state.channels[5].outFrequency = 346.0f;
        state.channels[2].serviceMode = servicemode::listed;
        state.channels[2].serviceIds = {3001};
        state.channels[6].tuner.dataRate = 70.0f; // no QAM order carries it
        const QDir folder(m_dir->path());
        const QStringList taken{backupFileName("backup", when),
                                reportFileName(backupFileName("backup", when, 2))};
        for (const QString &name : taken)
            QVERIFY(writeFile(folder.filePath(name), "earlier"));
        Configuration config;
        QVERIFY(readConfiguration(m_f->exchange(), config));

        const BackupResult result = writeBackup(config, m_dir->path(), "backup", when);

        QVERIFY2(result.error.isEmpty() && m_f->ui.messages.isEmpty(), qPrintable(result.error));
        QCOMPARE(result.path, folder.filePath(backupFileName("backup", when, 3)));
        // Nothing of the _2 that could not be had is left behind.
        QStringList expected = taken;
        expected << backupFileName("backup", when, 3)
                 << reportFileName(backupFileName("backup", when, 3));
        expected.sort();
        QCOMPARE(folder.entryList(QDir::Files), expected);
        for (const QString &name : taken)
            QCOMPARE(readFile(folder.filePath(name)), QByteArray("earlier"));
        std::array<ChannelRecord, channelCount> channels{};
        QVERIFY(std::holds_alternative<SettingsFormat>(readSettingsFile(result.path, channels)));
        QCOMPARE(channels, config.unit.channels);
        QVERIFY(channels[5].outFrequency == 346.0f && channels[2].serviceIds[0] == 3001);
        QCOMPARE(readFile(reportFileName(result.path)), renderReport(config));
    }

    void newestImage_data() { addRows(imageRows); }
    void newestImage()
    {
        const ImageRow &r = fetchRow(imageRows);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (const auto &[name, age] : imageAges)
            QVERIFY(writeFile(m_dir->filePath(name), "image", now.addSecs(-age)));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("KELDOR_FW_1.08.UC3")));
        const QString mask = imageMask(r.target, r.variant);
        const QStringList matching = matchingImages(m_dir->path(), mask);
        QCOMPARE(matching.join(' '), QString::fromLatin1(r.matching));
        QCOMPARE(keldor::newestImage(m_dir->path(), mask), m_dir->filePath(matching.value(0)));
        const QByteArray path = QFile::encodeName(m_dir->path());
        if (r.foreign && ::chown(path.constData(), 65534, gid_t(-1)) != 0)
            QSKIP("only root can give a folder to another user");
        QCOMPARE(::chmod(path.constData(), r.mode), 0);
        QCOMPARE(folderIsPrivate(m_dir->path()), r.trusted);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    std::optional<SessionFixture> m_f;
    std::optional<RecordingUpdateView> m_view;
};

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
