#include "update/formupdate.h"

#include "connectedstation.h"
#include "shell/programfolder.h"
#include "ui/activityindicator.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDialog>
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

#include <sys/inotify.h>
#include <unistd.h>

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

// The names a folder loses, as against those a rename puts a new file under.
class FolderWatch {
public:
    explicit FolderWatch(const QString &folder)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_DELETE);
    }
    ~FolderWatch() { ::close(m_fd); }

    QStringList deleted()
    {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        ssize_t length = 0;
        while ((length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                names.append(QFile::decodeName(event->name));
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return names;
    }

private:
    int m_fd;
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

    // Once blocks flow, Cancel asks first; stopping closes the link and the window, and nothing
    // waits for a restart or reconnects.
    void cancelBetweenBlocks_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::newRow("stop anyway") << QList<int>{int(UserInterface::Answer::Ok)};
        QTest::newRow("go on, then stop")
            << QList<int>{int(UserInterface::Answer::Cancel), int(UserInterface::Answer::Ok)};
    }
    void cancelBetweenBlocks()
    {
        QFETCH(QList<int>, answers);
        writeImage("KELDOR_FW_3.UC3", imageBytes(40 * 1024));
        open("Update_µC");
        QTRY_VERIFY(!filename()->text().isEmpty());
        PaintedTexts percentages(m_station->widget<QLabel>("Label1"));
        for (int answer : answers)
            ui().answers.append(UserInterface::Answer(answer));
        // The operator presses Cancel once the first block has gone, and again whenever the
        // button comes back.
        int presses = 0;
        QTimer press;
        connect(&press, &QTimer::timeout, [&] {
            QAction *cancel = button(7);
            if (cancel && percentages.texts.size() > 1 && cancel->isEnabled()) {
                cancel->trigger();
                ++presses;
            }
        });
        press.start(1);

        button(4)->trigger();

        QCOMPARE(presses, int(answers.size()));
        QCOMPARE(ui().messages.size(), answers.size() + 1);
        QCOMPARE(ui().messages.constLast().title, QStringLiteral("Update Cancelled"));
        QCOMPARE(entries(Kind::UploadDone).size(), 0);
        QTRY_VERIFY(!m_station->child<Form_Update>());
        QVERIFY(!station().session.lan.isOpen());
        QVERIFY(ui().progressLabels.isEmpty());
        QVERIFY(m_station->window->menuBar()->isEnabled());
        QCOMPARE(m_station->sim.count(Kind::Open), 0);
    }

    void noImageSendsNothing()
    {
        open("Update_µC");
        QCoreApplication::processEvents();
        QVERIFY(filename()->text().isEmpty());

        button(4)->trigger();

        QCOMPARE(ui().messages.size(), 1);
        QVERIFY(ui().messages.first().text.startsWith(QStringLiteral("No image file was chosen.")));
        QCOMPARE(m_station->sim.frames(0x84).size(), 0);
        QVERIFY(m_station->child<Form_Update>());
        QVERIFY(button(4)->isEnabled());
        QVERIFY(ui().progressLabels.isEmpty());
    }

    // The operator picks the image from the list: as an expert among several, and always when
    // others can put files into the program folder. Closing the list sends nothing and keeps
    // the chosen path.
    void imageFromTheList_data()
    {
        QTest::addColumn<bool>("expert");
        QTest::addColumn<bool>("othersMayWrite");
        QTest::addColumn<int>("pick"); // -1: the list is closed without a choice
        QTest::newRow("expert picks the oldest") << true << false << 2;
        QTest::newRow("others may write to the folder") << false << true << 0;
        QTest::newRow("list closed without a choice") << true << false << -1;
    }
    void imageFromTheList()
    {
        QFETCH(bool, expert);
        QFETCH(bool, othersMayWrite);
        QFETCH(int, pick);
        const QStringList names{"KELDOR_FW_2.UC3", "KELDOR_FW_1.UC3", "KELDOR_FW_0.UC3"};
        const QDateTime now = QDateTime::currentDateTime();
        QList<QByteArray> images;
        for (int i = 0; i < names.size(); ++i) {
            images.append(imageBytes(100 * (i + 1)));
            writeImage(names.at(i), images.last(), now.addDays(-1 - i));
        }
        if (othersMayWrite) {
            QVERIFY(QFile::setPermissions(programFolder(), QFile::permissions(programFolder()) |
                                                               QFileDevice::WriteOther));
        }
        station().unit.settings_file_name = QStringLiteral("/earlier/choice.kdr");
        Form_Update *form = open("Update_µC");
        QCoreApplication::processEvents();
        const QString shown = othersMayWrite ? QString() : programFile(names.first());
        QCOMPARE(filename()->text(), QDir::toNativeSeparators(shown));
        if (expert)
            unlockExpert();
        QStringList offered;
        QString prompt;
        OnNextModal choose([&](QWidget *modal) {
            auto *list = modal->findChild<QListWidget *>(QStringLiteral("List1"));
            prompt = modal->findChild<QLabel *>(QStringLiteral("Label1"))->text();
            for (int i = 0; i < list->count(); ++i)
                offered.append(list->item(i)->text());
            if (pick < 0)
                static_cast<QDialog *>(modal)->reject();
            else
                emit list->itemActivated(list->item(pick));
        });
        station().session.timing.reconnectLimit = 10s;

        button(4)->trigger();

        QCOMPARE(offered, names);
        QCOMPARE(prompt.startsWith(QStringLiteral("Other users can put files into")),
                 othersMayWrite);
        if (pick < 0) {
            QCOMPARE(station().unit.settings_file_name, QStringLiteral("/earlier/choice.kdr"));
            QCOMPARE(filename()->text(), QDir::toNativeSeparators(shown));
            QVERIFY(ui().messages.isEmpty());
            QCOMPARE(m_station->sim.frames(0x84).size(), 0);
            QCOMPARE(m_station->child<Form_Update>(), form);
            QVERIFY(button(4)->isEnabled());
            return;
        }
        const QList<sim::TranscriptEntry> done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().sha256,
                 QCryptographicHash::hash(images.at(pick), QCryptographicHash::Sha256));
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
        FolderWatch watch(programFolder());

        button(3)->trigger();

        QCOMPARE(title, QStringLiteral("Add UC3-File"));
        QVERIFY(filter.contains(QStringLiteral("*.uc3")));
        QCOMPARE(ui().messages.size(), 1);
        QCOMPARE(ui().messages.first().text, QStringLiteral("File already exists! Overwrite?"));
        QCOMPARE(ui().messages.first().icon, UserInterface::Icon::Question);
        QFile copy(programFile(QStringLiteral("KELDOR_FW_9.UC3")));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), replaced ? QByteArray("new image") : QByteArray("old"));
        // The new image took the old one's place in one step: the name never went missing.
        QCOMPARE(watch.deleted(), QStringList());
        QCOMPARE(QDir(programFolder())
                     .entryList({QStringLiteral("*KELDOR_FW_9*")}, QDir::Files | QDir::Hidden)
                     .size(),
                 1);
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
