#include "link/session.h"
#include "update/updateview.h"
#include "update/upload.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace keldor;
using namespace std::chrono_literals;
using Kind = sim::TranscriptEntry::Kind;

namespace {

const QString sendError =
    QStringLiteral("An error occured while sending, data may be lost\rPlease try again.");
const QString flashError =
    QStringLiteral("An error occured while flashing, data may be lost\rPlease try again.");
const QString cancelledClean = QStringLiteral(
    "The update was cancelled before the whole image was sent.\rPlease run the update again.");
const QString stopAnyway = QStringLiteral(
    "The headend is already taking the image and waits for all of it; whatever it receives "
    "next is stored as image data.\rStop anyway? The connection is closed at once, and the "
    "headend must be restarted before it is used again.");
const QString abandoned = QStringLiteral(
    "The update was stopped and the connection to the headend closed.\rThe headend is still "
    "waiting for the rest of the image and must be restarted (switched off and on again) "
    "before it is used again.");

// Keeps the history of status panel 2, which the block counter writes.
class PanelUi : public RecordingUi {
public:
    void setStatusPanel(int panel, const QString &text) override
    {
        RecordingUi::setStatusPanel(panel, text);
        if (panel == 2)
            panel2.append(text);
    }
    QStringList panel2;
};

// Records what the update window would show, as one line per call, and lets a test act at a
// given block.
class RecordingView : public UpdateView {
public:
    void setTitle(const QString &text, Tint tint) override
    {
        title = text;
        titleTint = tint;
        log.append(QStringLiteral("title %1 %2").arg(text).arg(int(tint)));
    }
    void setExplanation(int line, const QString &english, const QString &german, Tint tint) override
    {
        explanation[line] = {english, german};
        log.append(
            QStringLiteral("line%1 %2 | %3 %4").arg(line).arg(english, german).arg(int(tint)));
    }
    void setProgressMaximum(int maximum) override { progressMaximum = maximum; }
    void setProgressValue(int value) override
    {
        progress = value;
        if (value > 0 && onBlock)
            onBlock(value);
    }
    void setPercentage(const QString &text) override { percentages.append(text); }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setActivityTint(Tint tint) override { activity.append(tint); }
    void setElapsedTimerRunning(bool running) override
    {
        timerRunning = running;
        log.append(running ? QStringLiteral("timer on") : QStringLiteral("timer off"));
    }
    void setToolbar(Toolbar state) override { toolbar.append(state); }
    void setBackupFile(const QString &path) override { backupFile = path; }
    bool cancelRequested() const override { return cancel; }
    void withdrawCancel() override { cancel = false; }

    QString title;
    Tint titleTint = Tint::Black;
    QStringList explanation[2];
    QStringList log;
    int progressMaximum = -1;
    int progress = -1;
    QStringList percentages;
    bool progressVisible = true;
    QList<Tint> activity;
    bool timerRunning = false;
    QList<Toolbar> toolbar;
    QString backupFile;
    bool cancel = false;
    std::function<void(int)> onBlock;
};

QByteArray random_bytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = static_cast<char>(QRandomGenerator::global()->bounded(256));
    return bytes;
}

} // namespace

class TestUpload : public QObject {
    Q_OBJECT

private:
    QString writeImage(const QByteArray &bytes, const QString &name = QStringLiteral("image.bin"))
    {
        QFile file(m_dir->filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }

    QList<sim::TranscriptEntry> entries(Kind kind) const
    {
        QList<sim::TranscriptEntry> out;
        for (const auto &entry : m_sim->headend.transcript()) {
            if (entry.kind == kind)
                out.append(entry);
        }
        return out;
    }

    void setSimTiming(std::chrono::milliseconds storeDelay,
                      std::chrono::milliseconds restartDrop = 100ms)
    {
        sim::Timing timing = m_sim->headend.timing();
        timing.storeDelay = storeDelay;
        timing.restartDrop = restartDrop;
        m_sim->headend.setTiming(timing);
    }

    void setFault(sim::Fault fault, int code, int count = -1)
    {
        sim::FaultPlan plan;
        plan.fault = fault;
        plan.code = code;
        plan.count = count;
        m_sim->headend.setFault(plan);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_ui = std::make_unique<PanelUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_sim = std::make_unique<SimHeadend>();
        QVERIFY(m_sim->listen());
        QVERIFY(m_sim->connect(*m_session));
        m_ui->clear();
        m_ui->panel2.clear();
        m_sim->headend.clearTranscript();
        m_view = std::make_unique<RecordingView>();
    }

    void cleanup()
    {
        m_view.reset();
        m_session.reset();
        m_sim.reset();
        m_ui.reset();
    }

    void blocksReachTheHeadendUnchanged_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("blocks");
        QTest::newRow("one byte") << 1 << QList<int>{1};
        QTest::newRow("exactly one block") << 1024 << QList<int>{1024};
        QTest::newRow("1025 bytes") << 1025 << QList<int>{1024, 1};
        QTest::newRow("three whole blocks") << 3 * 1024 << QList<int>{1024, 1024, 1024};
        QTest::newRow("seven and a bit")
            << 7 * 1024 + 300 << QList<int>{1024, 1024, 1024, 1024, 1024, 1024, 1024, 300};
    }
    void blocksReachTheHeadendUnchanged()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, blocks);
        const QByteArray image = random_bytes(size);
        QCOMPARE(update_fw(*m_session, *m_view, writeImage(image)), UploadResult::Succeeded);
        QCOMPARE(m_ui->messages.size(), 0);

        const auto starts = m_sim->frames(0x84);
        QCOMPARE(starts.size(), 1);
        QByteArray expectedStart(10, '\0');
        expectedStart[1] = char(0x84);
        expectedStart[2] = char(size >> 24);
        expectedStart[3] = char(size >> 16);
        expectedStart[4] = char(size >> 8);
        expectedStart[5] = char(size);
        QCOMPARE(starts.first().bytes, expectedStart);

        QList<int> sent;
        for (const auto &entry : entries(Kind::Raw))
            sent.append(int(entry.bytes.size()));
        QCOMPARE(sent, blocks);
        const auto done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().what, QStringLiteral("controller"));
        QCOMPARE(done.first().sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));

        const int count = int(blocks.size());
        QCOMPARE(m_view->progressMaximum, count);
        QVERIFY(m_view->percentages.contains(QStringLiteral(" 100%")));
        QCOMPARE(m_view->percentages.first(), QStringLiteral("0%"));
        QCOMPARE(m_ui->panel2.at(count - 1),
                 QStringLiteral("Sending Block  %1  of  %1").arg(count));
        QCOMPARE(m_ui->panel2.last(), QString());
        // Success puts the window back to its idle look and gives the toolbar back.
        QCOMPARE(m_view->title, QStringLiteral("Ready"));
        QCOMPARE(m_view->explanation[0],
                 (QStringList{"To start update procedure press Update button",
                              "Um den Update-Vorgang zu starten, Update Button drücken"}));
        QVERIFY(
            m_view->log.contains(QStringLiteral("title Update Successful / Update erfolgreich 2")));
        QCOMPARE(m_view->activity, (QList<Tint>{Tint::Red, Tint::Green}));
        QCOMPARE(m_view->toolbar.last(), UpdateView::Toolbar::Idle);
        QVERIFY(!m_view->timerRunning);
        QVERIFY(m_ui->keepAliveRunning);
        QCOMPARE(m_ui->busyDepth, 0);
    }

    void percentageAndBlockCounter()
    {
        QCOMPARE(update_fw(*m_session, *m_view, writeImage(random_bytes(3 * 1024))),
                 UploadResult::Succeeded);
        QCOMPARE(m_view->percentages.mid(0, 4), (QStringList{"0%", " 33%", " 66%", " 100%"}));
        QCOMPARE(m_ui->panel2.mid(0, 3),
                 (QStringList{"Sending Block  1  of  3", "Sending Block  2  of  3",
                              "Sending Block  3  of  3"}));
        QVERIFY(m_view->log.contains(QStringLiteral(
            "line0 Sending µC firmware to headend, please wait | µC Firmware wird an Headend "
            "übertragen, bitte warten 0")));
    }

    // Every attempt sends the start frame again and reads the file from its first byte.
    void retryStartsFromTheFirstByte()
    {
        setFault(sim::Fault::DropAnswer, 0x84, 1);
        const QByteArray image = random_bytes(2 * 1024 + 5);
        QCOMPARE(update_fw(*m_session, *m_view, writeImage(image)), UploadResult::Succeeded);
        QCOMPARE(m_sim->frames(0x84).size(), 2);
        const auto done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));
        QCOMPARE(m_ui->messages.size(), 0);
    }

    void silentHeadendGivesUpAfterTheWindow_data()
    {
        QTest::addColumn<bool>("fpga");
        QTest::newRow("controller") << false;
        QTest::newRow("fpga") << true;
    }
    void silentHeadendGivesUpAfterTheWindow()
    {
        QFETCH(bool, fpga);
        setFault(sim::Fault::Silent, -1);
        const QString path = writeImage(random_bytes(4096));
        const UploadResult result =
            fpga ? update_fpga(*m_session, *m_view, path) : update_fw(*m_session, *m_view, path);
        QCOMPARE(result, UploadResult::Failed);
        // 300 ms per attempt within an 800 ms window: the third attempt ends past it.
        const int starts = int(m_sim->frames(fpga ? 0x89 : 0x84).size());
        QVERIFY2(starts >= 2 && starts <= 4, qPrintable(QString::number(starts)));
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Exclamation);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Update Error"));
        QCOMPARE(m_ui->messages.first().text, sendError);
        QCOMPARE(entries(Kind::Raw).size(), 0);
        QCOMPARE(m_sim->frames(0x8B).size(), 0);
        // The window keeps its running look; the caller goes on to the restart wait.
        QCOMPARE(m_view->title, QStringLiteral("Running"));
        QVERIFY(!m_view->timerRunning);
        QVERIFY(!m_ui->keepAliveRunning);
        QCOMPARE(m_ui->busyDepth, 0);
    }

    void droppedConnectionFailsAtOnce_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::newRow("half an answer to the start frame") << true;
        QTest::newRow("headend gone after block 2") << false;
    }
    void droppedConnectionFailsAtOnce()
    {
        QFETCH(bool, atStart);
        if (atStart) {
            setFault(sim::Fault::Disconnect, 0x89);
        } else {
            setSimTiming(1s, 0ms);
            m_view->onBlock = [this](int k) {
                if (k == 2)
                    m_sim->headend.restart();
            };
        }
        QCOMPARE(update_fpga(*m_session, *m_view, writeImage(random_bytes(6 * 1024))),
                 UploadResult::Failed);
        // No second attempt into a link that is gone.
        QCOMPARE(m_sim->frames(0x89).size(), 1);
        QCOMPARE(m_ui->texts(), QStringList{sendError});
        QCOMPARE(entries(Kind::UploadDone).size(), 0);
        QCOMPARE(m_sim->frames(0x8B).size(), 0);
        QVERIFY(!m_view->log.contains(
            QStringLiteral("title Update Successful / Update erfolgreich 2")));
    }

    // Before the headend has taken the start frame a cancel costs nothing; afterwards it waits
    // for the whole image, so stopping closes the link and leaves it to be restarted.
    void cancel_data()
    {
        QTest::addColumn<int>("atBlock"); // 0: while the backup is taken
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<UploadResult>("result");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("while the backup is taken")
            << 0 << QList<int>{} << UploadResult::Cancelled << QStringList{cancelledClean};
        QTest::newRow("after block 2, stop anyway")
            << 2 << QList<int>{int(UserInterface::Answer::Ok)} << UploadResult::Abandoned
            << QStringList{stopAnyway, abandoned};
        QTest::newRow("after block 2, go on") << 2 << QList<int>{int(UserInterface::Answer::Cancel)}
                                              << UploadResult::Succeeded << QStringList{stopAnyway};
    }
    void cancel()
    {
        QFETCH(int, atBlock);
        QFETCH(QList<int>, answers);
        QFETCH(UploadResult, result);
        QFETCH(QStringList, texts);
        for (int answer : answers)
            m_ui->answers.append(UserInterface::Answer(answer));
        m_view->onBlock = [&](int k) {
            if (k == atBlock)
                m_view->cancel = true;
        };
        const BackupHook backup = [&] {
            m_view->cancel = atBlock == 0;
            return BackupResult{QStringLiteral("backup.kdr"), {}};
        };
        const QByteArray image = random_bytes(5 * 1024);

        QCOMPARE(update_fpga(*m_session, *m_view, writeImage(image), backup), result);

        QCOMPARE(m_ui->texts(), texts);
        const int blocks = result == UploadResult::Succeeded ? 5 : atBlock;
        QCOMPARE(entries(Kind::Raw).size(), blocks);
        QCOMPARE(m_sim->frames(0x89).size(), atBlock == 0 ? 0 : 1);
        QCOMPARE(entries(Kind::UploadDone).size(), blocks == 5 ? 1 : 0);
        // Only an abandoned upload takes the link away, and nothing more goes out on it.
        const bool linkKept = result != UploadResult::Abandoned;
        QCOMPARE(m_session->lan.isOpen(), linkKept);
        QCOMPARE(m_ui->keepAliveRunning, linkKept);
        QVERIFY(!m_view->timerRunning);
        QCOMPARE(m_ui->busyDepth, 0);
    }

    // Over the serial line the headend still waits after an abandoned upload. What it gets next
    // completes the image unchanged only if the program sent nothing more, not even the closing
    // frame with which a window or keldor-ctl ends its session.
    void nothingFollowsAnAbandonedUpload()
    {
        QVERIFY2(m_sim->openPty(), qPrintable(m_sim->pty.errorString()));
        const QString port = m_sim->pty.slavePath();
        m_session->usbPorts = [port] {
            return QStringList{port};
        };
        m_session->exchange.setSerialSelected(true);
        QVERIFY(check_device_present(*m_session));
        m_view->onBlock = [this](int k) {
            if (k == 2)
                m_view->cancel = true;
        };
        const QByteArray image = random_bytes(5 * 1024);

        QCOMPARE(update_fw(*m_session, *m_view, writeImage(image)), UploadResult::Abandoned);
        QVERIFY(!m_session->serial.isOpen());
        QVERIFY(!m_session->exchange.com_end());

        QFile line(port);
        QVERIFY(line.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        QCOMPARE(line.write(image.mid(2 * 1024)), image.size() - 2 * 1024);
        QTRY_COMPARE(entries(Kind::UploadDone).size(), 1);
        QCOMPARE(entries(Kind::UploadDone).first().sha256,
                 QCryptographicHash::hash(image, QCryptographicHash::Sha256));
    }

    void imagesThatCannotBeSent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no file chosen") << QString() << qint64(-1) << "No image file was chosen.";
        QTest::newRow("missing") << "missing.uc3" << qint64(-1) << "does not exist";
        QTest::newRow("empty") << "empty.uc3" << qint64(0) << "is empty";
        QTest::newRow("one byte too many blocks")
            << "huge.uc3" << qint64(32767) * 1024 + 1 << "holds 32768 blocks";
    }
    void imagesThatCannotBeSent()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QString, reason);
        QString path;
        if (!name.isEmpty()) {
            path = m_dir->filePath(name);
            if (size >= 0) {
                QFile file(path);
                QVERIFY(file.open(QIODevice::WriteOnly));
                QVERIFY(file.resize(size));
            }
        }
        bool backedUp = false;
        const BackupHook backup = [&] {
            backedUp = true;
            return BackupResult{QStringLiteral("backup.kdr"), {}};
        };
        QCOMPARE(update_fw(*m_session, *m_view, path, backup), UploadResult::NotStarted);
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Update Error"));
        QVERIFY2(m_ui->messages.first().text.contains(reason),
                 qPrintable(m_ui->messages.first().text));
        QVERIFY(m_ui->messages.first().text.endsWith(
            QStringLiteral("\rNothing was sent to the headend.")));
        QVERIFY(!backedUp);
        QCOMPARE(m_sim->headend.transcript().size(), 0);
        QVERIFY(m_view->log.isEmpty());
    }

    void largestImageIsAccepted()
    {
        // 32767 blocks is the most the headend counts; checked without sending them all.
        QFile file(m_dir->filePath(QStringLiteral("largest.uc3")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(32767) * 1024));
        file.close();
        setFault(sim::Fault::Silent, -1);
        QCOMPARE(update_fw(*m_session, *m_view, file.fileName()), UploadResult::Failed);
        QCOMPARE(m_view->progressMaximum, 32767);
        QCOMPARE(m_sim->frames(0x84).first().bytes.mid(2, 4), QByteArray::fromHex("01FFFC00"));
    }

    void backupComesFirst()
    {
        bool sentBeforeBackup = true;
        const BackupHook backup = [&] {
            sentBeforeBackup = m_sim->frames(0x84).size() > 0;
            return BackupResult{QStringLiteral("/tmp/before-update.kdr"), {}};
        };
        QCOMPARE(update_fw(*m_session, *m_view, writeImage(random_bytes(100)), backup),
                 UploadResult::Succeeded);
        QVERIFY(!sentBeforeBackup);
        QCOMPARE(m_view->backupFile, QStringLiteral("/tmp/before-update.kdr"));
    }

    void failedBackupAsksFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::newRow("cancel") << int(UserInterface::Answer::Cancel)
                                << int(UploadResult::NotStarted);
        QTest::newRow("update anyway")
            << int(UserInterface::Answer::Ok) << int(UploadResult::Succeeded);
    }
    void failedBackupAsksFirst()
    {
        QFETCH(int, answer);
        QFETCH(int, result);
        m_ui->answers.append(UserInterface::Answer(answer));
        const BackupHook backup = [] {
            return BackupResult{{}, QStringLiteral("disk full")};
        };
        QCOMPARE(int(update_fw(*m_session, *m_view, writeImage(random_bytes(100)), backup)),
                 result);
        QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Question);
        QVERIFY(m_ui->messages.first().text.contains(QStringLiteral("disk full")));
        QCOMPARE(m_sim->frames(0x84).size(), result == int(UploadResult::Succeeded) ? 1 : 0);
    }

    void fpgaIsStoredAfterTheTransfer()
    {
        setSimTiming(300ms);
        const QByteArray image = random_bytes(2 * 1024 + 17);
        QCOMPARE(update_fpga(*m_session, *m_view, writeImage(image)), UploadResult::Succeeded);
        QCOMPARE(m_ui->messages.size(), 0);

        const auto transcript = m_sim->headend.transcript();
        qsizetype done = -1;
        qsizetype store = -1;
        for (qsizetype i = 0; i < transcript.size(); ++i) {
            if (transcript[i].kind == Kind::UploadDone)
                done = i;
            if (transcript[i].kind == Kind::Frame && transcript[i].code() == 0x8B)
                store = i;
        }
        QVERIFY(done >= 0);
        QCOMPARE(transcript[done].what, QStringLiteral("fpga"));
        QCOMPARE(transcript[done].sha256,
                 QCryptographicHash::hash(image, QCryptographicHash::Sha256));
        QVERIFY(store > done);
        QCOMPARE(transcript[store].bytes, QByteArray::fromHex("008B0000000000000000"));

        // The late "EN": the warnings and the running clock stay up for the whole wait.
        const QStringList expected{
            "title Firmware Upload Successful / Firmware erfolgreich übertragen 2",
            "title Running 1",
            "line0 Storing FPGA firmware, this can take up to 10 minutes! | FPGA Firmware wird "
            "gespeichert, dieser Vorgang kann bis zu 10 Minuten dauern! 0",
            "line1 ATTENTION! Please do not interrupt while the red LED is blinking!!! | ACHTUNG! "
            "Bitte nicht unterbrechen solange die rote LED blinkt!!! 1",
            "timer on",
            "title Update Successful / Update erfolgreich 2",
            "line0  |  0",
            "line1  |  0",
            "timer off",
        };
        qsizetype from = 0;
        for (const QString &line : expected) {
            const qsizetype at = m_view->log.indexOf(line, from);
            QVERIFY2(at >= 0, qPrintable(line));
            from = at + 1;
        }
        QVERIFY(!m_view->progressVisible);
        QCOMPARE(m_view->toolbar.last(), UpdateView::Toolbar::Storing);
        QVERIFY(m_ui->keepAliveRunning);
    }

    void storeCommandNeverAcknowledged()
    {
        setFault(sim::Fault::DropAnswer, 0x8B);
        QCOMPARE(update_fpga(*m_session, *m_view, writeImage(random_bytes(1500))),
                 UploadResult::Failed);
        QVERIFY(m_sim->frames(0x8B).size() >= 2);
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Flash Error"));
        QCOMPARE(m_ui->messages.first().text, flashError);
        QVERIFY(!m_view->timerRunning);
    }

    void storingThatNeverEnds()
    {
        setSimTiming(1h);
        m_session->timing.storeEndLimit = 300ms;
        QCOMPARE(update_fpga(*m_session, *m_view, writeImage(random_bytes(1500))),
                 UploadResult::Failed);
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Flash Error"));
        QVERIFY(m_ui->messages.first().text.startsWith(
            QStringLiteral("The headend did not report the end of storing")));
        QVERIFY(!m_view->log.contains(
            QStringLiteral("title Update Successful / Update erfolgreich 2")));
        QVERIFY(!m_view->timerRunning);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PanelUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
    std::unique_ptr<RecordingView> m_view;
};

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
