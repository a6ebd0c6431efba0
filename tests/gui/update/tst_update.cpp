#include "update/formupdate.h"

#include "connectedstation.h"
#include "files.h"
#include "shell/programfolder.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>

using namespace keldor;
using namespace std::chrono_literals;
using Kind = sim::TranscriptEntry::Kind;

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_s.emplace();
        QVERIFY(m_s->start());
        m_s->station().session.timing.reconnectLimit = 10s;
    }
    void cleanup() { m_s.reset(); }

    // The newest image is shown and sent; menu and Update rest while it runs (the backup reading
    // gives the menu back); the window goes and the headend is connected again.
    void uploadRestartReconnect_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("image");
        QTest::addRow("controller") << "Update_µC" << QString("KELDOR_FW_%1.UC3");
        QTest::addRow("fpga") << "Update_QAM" << QString("KELDOR_FPGA_%1.RBF");
    }
    void uploadRestartReconnect()
    {
        QFETCH(QString, item);
        QFETCH(QString, image);
        writeImage(image.arg(2), imageBytes(300), -2);
        writeImage(image.arg(1), imageBytes(5 * 1024 + 77), -1);
        m_s->window->item(item)->trigger();
        QTRY_COMPARE(filename()->text(), QDir::toNativeSeparators(programFile(image.arg(1))));
        QVERIFY(button(4)->isEnabled() && !button(7)->isEnabled() && !button(3)->isVisible());
        int running = 0;
        bool usable = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            auto *title = m_s->widget<QLabel>("Label_title");
            if (title && title->text() == "Running" && ++running)
                usable = usable || m_s->window->menuBar()->isEnabled() || button(4)->isEnabled();
        });
        watch.start(1);

        button(4)->trigger();

        QVERIFY(running > 0 && !usable && m_s->window->menuBar()->isEnabled());
        QCOMPARE(sent(image.arg(1)), QStringList{item == "Update_QAM" ? "fpga" : "controller"});
        QCOMPARE(QDir(programFolder()).entryList({"backup-*.kdr"}, QDir::Files).size(), 1);
        QTRY_VERIFY(!m_s->child<Form_Update>());
        QTRY_COMPARE(m_s->sim.count(Kind::Open), 1);
        QTRY_VERIFY(!ui().progressShown);
        QCOMPARE(ui().progressLabels.value(0),
                 "Headend is now initializing with new software , please wait...");
        QVERIFY2(ui().messages.isEmpty(), qPrintable(ui().texts().join(" | ")));
        QVERIFY(m_s->station().session.lan.isConnected());
    }

    // Cancel asks first; going on keeps sending, stopping closes the link and the window, and
    // nothing waits for a restart.
    void cancelBetweenBlocks()
    {
        writeImage("KELDOR_FW_3.UC3", imageBytes(40 * 1024));
        m_s->window->item("Update_µC")->trigger();
        QTRY_VERIFY(!filename()->text().isEmpty());
        ui().answers = {UserInterface::Answer::Cancel, UserInterface::Answer::Ok};
        int presses = 0;
        QTimer press;
        connect(&press, &QTimer::timeout, [&] {
            QAction *cancel = button(7);
            if (cancel && !m_s->sim.frames(0x84).isEmpty() && cancel->isEnabled() && ++presses)
                cancel->trigger();
        });
        press.start(1);

        button(4)->trigger();

        QCOMPARE(presses, 2);
        QCOMPARE(ui().messages.size(), 3);
        QCOMPARE(ui().messages.constLast().title, "Update Cancelled");
        QCOMPARE(m_s->sim.count(Kind::UploadDone), 0);
        QTRY_VERIFY(!m_s->child<Form_Update>());
        QVERIFY(!m_s->station().session.lan.isOpen() && m_s->window->menuBar()->isEnabled());
        QCOMPARE(m_s->sim.count(Kind::Open), 0);
    }

    // An added image replaces one of its name only when allowed, in one step: a copy that fails
    // leaves the old one as it was.
    void addedImage_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("OK") << int(UserInterface::Answer::Ok) << true << QByteArray("new");
        QTest::newRow("Cancel") << int(UserInterface::Answer::Cancel) << true << QByteArray("old");
        QTest::newRow("copy fails") << int(UserInterface::Answer::Ok) << false << QByteArray("old");
    }
    void addedImage()
    {
        QFETCH(int, answer);
        QFETCH(bool, readable);
        QFETCH(QByteArray, after);
        writeImage("KELDOR_FW_9.UC3", "old");
        QTemporaryDir elsewhere;
        const QString source = elsewhere.filePath("KELDOR_FW_9.UC3");
        QVERIFY(readable ? writeFile(source, "new") : QDir().mkdir(source));
        m_s->window->item("Update_µC")->trigger();
        OnNextModal login([](QWidget *modal) {
            modal->findChild<QLineEdit *>("txtPassword")->setText("41806");
            modal->findChild<QPushButton *>("cmdOK")->click();
        });
        button(5)->trigger();
        m_s->child<Form_Update>()->setFileChooser(
            [&](QWidget *, auto &, auto &) { return source; });
        ui().answers = {UserInterface::Answer(answer)};

        button(3)->trigger();

        QCOMPARE(ui().messages.first().text, "File already exists! Overwrite?");
        QCOMPARE(ui().messages.size(), readable ? 1 : 2);
        QCOMPARE(readFile(programFile("KELDOR_FW_9.UC3")), after);
        QCOMPARE(QDir(programFolder()).entryList({"*_9*"}, QDir::Files | QDir::Hidden).size(), 1);
    }

private:
    static QByteArray imageBytes(int size)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + size) % 251);
        return bytes;
    }
    // Aged by days, so that only the times can tell the newest.
    static void writeImage(const QString &name, const QByteArray &bytes, int days = 0)
    {
        QFile file(programFile(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        QVERIFY(file.flush() && file.setFileTime(QDateTime::currentDateTime().addDays(days),
                                                 QFileDevice::FileModificationTime));
    }
    // Where the headend took this image to.
    QStringList sent(const QString &image) const
    {
        QStringList targets;
        for (const sim::TranscriptEntry &entry : m_s->sim.headend.transcript()) {
            if (entry.kind == Kind::UploadDone && entry.sha256 == fileHash(programFile(image)))
                targets.append(entry.what);
        }
        return targets;
    }
    QAction *button(int index) const
    {
        return m_s->widget<QAction>(QStringLiteral("Toolbar1_Button%1").arg(index));
    }
    QLineEdit *filename() const { return m_s->widget<QLineEdit>("Text_Filename"); }
    RecordingUi &ui() { return m_s->ui(); }

    std::optional<ConnectedStation> m_s;
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
