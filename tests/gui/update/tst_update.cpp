#include "update/formupdate.h"

#include "connectedstation.h"
#include "shell/programfolder.h"
#include "ui/activityindicator.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;
using Kind = sim::TranscriptEntry::Kind;

// Keeps every text a label paints; the percentage label repaints at once, so each value the
// upload shows lands here.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel *label)
        : m_label(label)
    {
        label->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && (texts.isEmpty() || texts.last() != m_label->text()))
            texts.append(m_label->text());
        return false;
    }

    QStringList texts;

private:
    QLabel *m_label;
};

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_station = std::make_unique<ConnectedStation>();
        QVERIFY(m_station->start());
    }

    void cleanup() { m_station.reset(); }

    void idleLookAndNewestImage_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("expected");
        QTest::newRow("controller") << "Update_µC" << 12 << "KELDOR_FW_2.UC3";
        QTest::newRow("FPGA, 12 channels") << "Update_QAM" << 12 << "KELDOR_FPGA_2.RBF";
        QTest::newRow("FPGA, 16 channels") << "Update_QAM" << 16 << "VANTIS_FPGA_1.RBF";
    }

    void idleLookAndNewestImage()
    {
        QFETCH(QString, item);
        QFETCH(int, channels);
        QFETCH(QString, expected);
        m_station->sim.headend.state().identity.variant = *sim::variantForChannelCount(channels);
        const QDateTime now = QDateTime::currentDateTime();
        // The name order is the opposite of the age order, so only the times can pick.
        writeImage("KELDOR_FW_2.UC3", 100, now.addDays(-1));
        writeImage("KELDOR_FW_1.UC3", 100, now.addDays(-3));
        writeImage("keldor_fw_0.uc3", 100, now.addDays(-2));
        writeImage("KELDOR_FPGA_1.RBF", 100, now.addDays(-5));
        writeImage("KELDOR_FPGA_2.RBF", 100, now.addDays(-4));
        writeImage("VANTIS_FPGA_1.RBF", 100, now.addDays(-6));

        Form_Update *form = open(item);
        QCOMPARE(form->windowTitle(), QStringLiteral("Update Utility"));
        QTRY_VERIFY(!filename()->text().isEmpty());
        QCOMPARE(filename()->text(), QDir::toNativeSeparators(programFile(expected)));
        QCOMPARE(label("Label_title"), QStringLiteral("Ready"));
        QCOMPARE(label("Label_englisch_0"),
                 QStringLiteral("To start update procedure press Update button"));
        QCOMPARE(label("Label_deutsch_0"),
                 QStringLiteral("Um den Update-Vorgang zu starten, Update Button drücken"));
        QCOMPARE(label("Label1"), QStringLiteral("0%"));
        QCOMPARE(label("lblZeit"), QStringLiteral("00:00.0"));
        QCOMPARE(m_station->widget<QProgressBar>("ProgressBar1")->value(), 0);
        QVERIFY(!button(7)->isEnabled());
        QVERIFY(button(4)->isEnabled());
        QVERIFY(!button(3)->isVisible());
        QCOMPARE(button(4)->text(), QStringLiteral("Update"));
        QCOMPARE(button(5)->text(), QStringLiteral("Expert"));
        QVERIFY(!ui().keepAliveRunning);
    }

    void uploadThenReconnect_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("target");
        QTest::newRow("controller") << "Update_µC"
                                    << "KELDOR_FW_3.UC3"
                                    << "controller";
        QTest::newRow("FPGA") << "Update_QAM"
                              << "KELDOR_FPGA_3.RBF"
                              << "fpga";
    }

    void uploadThenReconnect()
    {
        QFETCH(QString, item);
        QFETCH(QString, name);
        QFETCH(QString, target);
        const QByteArray image = imageBytes(5 * 1024 + 77);
        writeImage(name, image);
        sim::Timing simTiming = m_station->sim.headend.timing();
        simTiming.storeDelay = 200ms;
        m_station->sim.headend.setTiming(simTiming);
        station().session.timing.successPause = 300ms;
        station().session.timing.reconnectLimit = 10s;
        open(item);
        QTRY_VERIFY(!filename()->text().isEmpty());
        PaintedTexts percentages(m_station->widget<QLabel>("Label1"));
        QStringList titles;
        bool menuUsable = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            QLabel *title = m_station->widget<QLabel>("Label_title");
            if (!title)
                return;
            if (!titles.contains(title->text()))
                titles.append(title->text());
            if (title->text() == QStringLiteral("Running"))
                menuUsable = menuUsable || m_station->window->menuBar()->isEnabled();
        });
        watch.start(1);

        button(4)->trigger();

        const QList<sim::TranscriptEntry> done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().what, target);
        QCOMPARE(done.first().sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));
        QVERIFY(titles.contains(QStringLiteral("Running")));
        QVERIFY(!menuUsable);
        QVERIFY(m_station->window->menuBar()->isEnabled());
        QVERIFY(percentages.texts.contains(QStringLiteral(" 100%")));
        QVERIFY(titles.contains(QStringLiteral("Update Successful / Update erfolgreich")));
        // The configuration was saved before the first block.
        const QStringList backups =
            QDir(programFolder()).entryList({QStringLiteral("backup-*.kdr")}, QDir::Files);
        QCOMPARE(backups.size(), 1);
        QVERIFY(QFileInfo(programFile(backups.first())).size() > 0);

        // The window goes; the headend is waited for and connected again.
        QTRY_VERIFY(!m_station->child<Form_Update>());
        QTRY_COMPARE(m_station->sim.count(Kind::Open), 1);
        QTRY_VERIFY(!ui().progressShown);
        QCOMPARE(ui().progressLabels.value(0),
                 QStringLiteral("Headend is now initializing with new software , please wait..."));
        QVERIFY2(ui().messages.isEmpty(), qPrintable(ui().texts().join(" | ")));
        QVERIFY(station().session.lan.isConnected());
    }

    void cancelBetweenBlocks()
    {
        writeImage("KELDOR_FW_3.UC3", imageBytes(40 * 1024));
        Form_Update *form = open("Update_µC");
        QTRY_VERIFY(!filename()->text().isEmpty());
        PaintedTexts percentages(m_station->widget<QLabel>("Label1"));
        // The operator presses Cancel once the first block has gone.
        QTimer press;
        connect(&press, &QTimer::timeout, [&] {
            if (percentages.texts.size() > 1 && button(7)->isEnabled()) {
                button(7)->trigger();
                press.stop();
            }
        });
        press.start(1);

        button(4)->trigger();

        QCOMPARE(entries(Kind::UploadDone).size(), 0);
        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(ui().messages.first().title, QStringLiteral("Update Cancelled"));
        // No restart to wait for: the window stays, idle again, and nothing reconnects.
        QVERIFY(ui().progressLabels.isEmpty());
        QCOMPARE(m_station->child<Form_Update>(), form);
        QCOMPARE(label("Label_title"), QStringLiteral("Ready"));
        QVERIFY(button(4)->isEnabled());
        QVERIFY(!button(7)->isEnabled());
        QCOMPARE(m_station->sim.count(Kind::Open), 0);
    }

    void noImageSendsNothing()
    {
        open("Update_µC");
        QTest::qWait(20);
        QVERIFY(filename()->text().isEmpty());

        button(4)->trigger();

        QCOMPARE(ui().messages.size(), 1);
        QVERIFY(ui().messages.first().text.startsWith(QStringLiteral("No image file was chosen.")));
        QCOMPARE(m_station->sim.frames(0x84).size(), 0);
        QVERIFY(m_station->child<Form_Update>());
        QVERIFY(button(4)->isEnabled());
        QVERIFY(ui().progressLabels.isEmpty());
    }

    void expertChoosesAmongImages()
    {
        const QDateTime now = QDateTime::currentDateTime();
        writeImage("KELDOR_FW_1.UC3", imageBytes(100), now.addDays(-2));
        const QByteArray older = imageBytes(200);
        writeImage("KELDOR_FW_0.UC3", older, now.addDays(-3));
        writeImage("KELDOR_FW_2.UC3", imageBytes(300), now.addDays(-1));
        open("Update_µC");
        QTRY_VERIFY(!filename()->text().isEmpty());

        unlockExpert();
        QVERIFY(button(3)->isVisible());
        QVERIFY(!button(5)->isVisible());
        QStringList offered;
        OnNextModal pick([&](QWidget *modal) {
            auto *list = modal->findChild<QListWidget *>(QStringLiteral("List1"));
            for (int i = 0; i < list->count(); ++i)
                offered.append(list->item(i)->text());
            emit list->itemActivated(list->item(2));
        });
        station().session.timing.reconnectLimit = 10s;

        button(4)->trigger();

        QCOMPARE(offered, (QStringList{"KELDOR_FW_2.UC3", "KELDOR_FW_1.UC3", "KELDOR_FW_0.UC3"}));
        const QList<sim::TranscriptEntry> done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().sha256, QCryptographicHash::hash(older, QCryptographicHash::Sha256));
        QTRY_VERIFY(!ui().progressShown && !ui().progressLabels.isEmpty());
    }

    void addedImageOverwritesOnlyWhenAllowed_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("OK") << int(UserInterface::Answer::Ok) << true;
        QTest::newRow("Cancel") << int(UserInterface::Answer::Cancel) << false;
    }

    void addedImageOverwritesOnlyWhenAllowed()
    {
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        writeImage("KELDOR_FW_9.UC3", QByteArray("old"));
        QTemporaryDir elsewhere;
        QFile source(elsewhere.filePath(QStringLiteral("KELDOR_FW_9.UC3")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("new image");
        source.close();
        Form_Update *form = open("Update_µC");
        unlockExpert();
        QString title;
        QString filter;
        form->setFileChooser([&](QWidget *, const QString &t, const QString &f) {
            title = t;
            filter = f;
            return source.fileName();
        });
        ui().answers = {UserInterface::Answer(answer)};

        button(3)->trigger();

        QCOMPARE(title, QStringLiteral("Add UC3-File"));
        QVERIFY(filter.contains(QStringLiteral("*.uc3")));
        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(ui().messages.first().text, QStringLiteral("File already exists! Overwrite?"));
        QCOMPARE(ui().messages.first().icon, UserInterface::Icon::Question);
        QFile copy(programFile(QStringLiteral("KELDOR_FW_9.UC3")));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), replaced ? QByteArray("new image") : QByteArray("old"));
        QCOMPARE(QDir(programFolder()).entryList({QStringLiteral("*.part")}).size(), 0);
    }

    void closingEndsTheSession()
    {
        open("Update_µC");
        m_station->window->closeAllChildWindows();
        QTRY_VERIFY(!m_station->child<Form_Update>());
        QVERIFY(!ui().keepAliveRunning);
    }

private:
    Form_Update *open(const QString &item)
    {
        m_station->window->item(item)->trigger();
        return m_station->child<Form_Update>();
    }

    void unlockExpert()
    {
        OnNextModal login([](QWidget *modal) {
            modal->findChild<QLineEdit *>(QStringLiteral("txtPassword"))
                ->setText(QStringLiteral("41806"));
            modal->findChild<QPushButton *>(QStringLiteral("cmdOK"))->click();
        });
        button(5)->trigger();
    }

    static QByteArray imageBytes(int size)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + size) % 251);
        return bytes;
    }

    static void writeImage(const QString &name, const QByteArray &bytes,
                           const QDateTime &modified = {})
    {
        QFile file(programFile(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        // Written out first, or the close would stamp the file with the time of the write.
        QVERIFY(file.flush());
        if (modified.isValid())
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    static void writeImage(const char *name, int size, const QDateTime &modified)
    {
        writeImage(QString::fromUtf8(name), imageBytes(size), modified);
    }

    static void writeImage(const char *name, const QByteArray &bytes,
                           const QDateTime &modified = {})
    {
        writeImage(QString::fromUtf8(name), bytes, modified);
    }

    QList<sim::TranscriptEntry> entries(Kind kind) const
    {
        QList<sim::TranscriptEntry> out;
        for (const auto &entry : m_station->sim.headend.transcript()) {
            if (entry.kind == kind)
                out.append(entry);
        }
        return out;
    }

    QAction *button(int index) const
    {
        return m_station->widget<QAction>(QStringLiteral("Toolbar1_Button%1").arg(index));
    }
    QLineEdit *filename() const { return m_station->widget<QLineEdit>("Text_Filename"); }
    QString label(const char *name) const
    {
        return m_station->widget<QLabel>(QLatin1String(name))->text();
    }
    RecordingUi &ui() { return m_station->ui(); }
    Station &station() { return m_station->station(); }

    std::unique_ptr<ConnectedStation> m_station;
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
