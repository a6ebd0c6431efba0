#include "update/formupdate.h"

#include "connectedstation.h"
#include "files.h"
#include "shell/programfolder.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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

    // The newest image is shown and sent; the menu rests from the first block (the backup
    // reading gives it back) to the end; the window goes and the headend is connected again.
    void uploadRestartReconnect_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("newest");
        QTest::addColumn<QString>("older");
        QTest::addColumn<QString>("target");
        QTest::newRow("controller") << "Update_µC"
                                    << "KELDOR_FW_1.UC3"
                                    << "KELDOR_FW_2.UC3"
                                    << "controller";
        QTest::newRow("FPGA") << "Update_QAM"
                              << "KELDOR_FPGA_1.RBF"
                              << "KELDOR_FPGA_2.RBF"
                              << "fpga";
    }
    void uploadRestartReconnect()
    {
        QFETCH(QString, item);
        QFETCH(QString, newest);
        QFETCH(QString, older);
        QFETCH(QString, target);
        const QByteArray image = imageBytes(5 * 1024 + 77);
        writeImage(older, imageBytes(300), -2);
        writeImage(newest, image, -1);
        open(item);
        QTRY_COMPARE(filename()->text(), QDir::toNativeSeparators(programFile(newest)));
        QVERIFY(button(4)->isEnabled() && !button(7)->isEnabled() && !button(3)->isVisible());
        bool menuUsable = false;
        bool toolbarWrong = false;
        int running = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            auto *title = m_s->widget<QLabel>("Label_title");
            if (!title || title->text() != "Running")
                return;
            ++running;
            menuUsable = menuUsable || m_s->window->menuBar()->isEnabled();
            toolbarWrong = toolbarWrong || button(4)->isEnabled();
        });
        watch.start(1);

        button(4)->trigger();

        QVERIFY(running > 0);
        QVERIFY(!menuUsable);
        QVERIFY(!toolbarWrong);
        QVERIFY(m_s->window->menuBar()->isEnabled());
        const QList<sim::TranscriptEntry> done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().what, target);
        QCOMPARE(done.first().sha256, QCryptographicHash::hash(image, QCryptographicHash::Sha256));
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
        open("Update_µC");
        QTRY_VERIFY(!filename()->text().isEmpty());
        ui().answers = {UserInterface::Answer::Cancel, UserInterface::Answer::Ok};
        int presses = 0;
        QTimer press;
        connect(&press, &QTimer::timeout, [&] {
            QAction *cancel = button(7);
            if (cancel && !m_s->sim.frames(0x84).isEmpty() && cancel->isEnabled()) {
                cancel->trigger();
                ++presses;
            }
        });
        press.start(1);

        button(4)->trigger();

        QCOMPARE(presses, 2);
        QCOMPARE(ui().messages.size(), 3);
        QCOMPARE(ui().messages.constLast().title, "Update Cancelled");
        QCOMPARE(entries(Kind::UploadDone).size(), 0);
        QTRY_VERIFY(!m_s->child<Form_Update>());
        QVERIFY(!m_s->station().session.lan.isOpen());
        QVERIFY(m_s->window->menuBar()->isEnabled());
        QCOMPARE(m_s->sim.count(Kind::Open), 0);
    }

    // The list is offered to an expert among several images, and always when others can write
    // to the program folder; closing it sends nothing and keeps the image shown.
    void imageFromTheList_data()
    {
        QTest::addColumn<bool>("expert");
        QTest::addColumn<bool>("othersMayWrite");
        QTest::addColumn<int>("pick"); // -1: closed without a choice
        QTest::newRow("expert picks the oldest") << true << false << 2;
        QTest::newRow("others may write") << false << true << 0;
        QTest::newRow("closed") << true << false << -1;
    }
    void imageFromTheList()
    {
        QFETCH(bool, expert);
        QFETCH(bool, othersMayWrite);
        QFETCH(int, pick);
        const QStringList names{"KELDOR_FW_2.UC3", "KELDOR_FW_1.UC3", "KELDOR_FW_0.UC3"};
        for (int i = 0; i < names.size(); ++i)
            writeImage(names.at(i), imageBytes(100 * (i + 1)), -1 - i);
        if (othersMayWrite)
            QVERIFY(QFile::setPermissions(programFolder(), QFile::permissions(programFolder()) |
                                                               QFileDevice::WriteOther));
        open("Update_µC");
        QCoreApplication::processEvents();
        const QString shown = filename()->text();
        QCOMPARE(shown.isEmpty(), othersMayWrite);
        if (expert)
            unlockExpert();
        QStringList offered;
        OnNextModal choose([&](QWidget *modal) {
            auto *list = modal->findChild<QListWidget *>("List1");
            for (int i = 0; i < list->count(); ++i)
                offered.append(list->item(i)->text());
            if (pick < 0)
                static_cast<QDialog *>(modal)->reject();
            else
                emit list->itemActivated(list->item(pick));
        });

        button(4)->trigger();

        QCOMPARE(offered, names);
        const QList<sim::TranscriptEntry> done = entries(Kind::UploadDone);
        QCOMPARE(done.size(), pick < 0 ? 0 : 1);
        if (pick < 0) {
            QCOMPARE(filename()->text(), shown);
            QVERIFY(button(4)->isEnabled());
            return;
        }
        QCOMPARE(done.first().sha256, QCryptographicHash::hash(imageBytes(100 * (pick + 1)),
                                                               QCryptographicHash::Sha256));
        QTRY_VERIFY(!ui().progressShown && !ui().progressLabels.isEmpty());
    }

    // An added image replaces one of the same name only when allowed, and a copy that fails
    // leaves the old one as it was.
    void addedImage_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("OK") << int(UserInterface::Answer::Ok) << true << QByteArray("new image");
        QTest::newRow("Cancel") << int(UserInterface::Answer::Cancel) << true << QByteArray("old");
        QTest::newRow("unreadable source")
            << int(UserInterface::Answer::Ok) << false << QByteArray("old");
    }
    void addedImage()
    {
        QFETCH(int, answer);
        QFETCH(bool, readable);
        QFETCH(QByteArray, after);
        writeImage("KELDOR_FW_9.UC3", "old");
        QTemporaryDir elsewhere;
        const QString source = elsewhere.filePath("KELDOR_FW_9.UC3");
        QVERIFY(readable ? writeFile(source, "new image") : QDir().mkdir(source));
        Form_Update *form = open("Update_µC");
        unlockExpert();
        QVERIFY(button(3)->isVisible());
        form->setFileChooser([&](QWidget *, const QString &, const QString &) { return source; });
        ui().answers = {UserInterface::Answer(answer)};

        button(3)->trigger();

        QCOMPARE(ui().messages.first().text, "File already exists! Overwrite?");
        QCOMPARE(ui().messages.size(), readable ? 1 : 2);
        QCOMPARE(readFile(programFile("KELDOR_FW_9.UC3")), after);
        QCOMPARE(
            QDir(programFolder()).entryList({"*KELDOR_FW_9*"}, QDir::Files | QDir::Hidden).size(),
            1);
    }

private:
    Form_Update *open(const QString &item)
    {
        m_s->window->item(item)->trigger();
        return m_s->child<Form_Update>();
    }
    void unlockExpert()
    {
        OnNextModal login([](QWidget *modal) {
            modal->findChild<QLineEdit *>("txtPassword")->setText("41806");
            modal->findChild<QPushButton *>("cmdOK")->click();
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
    // Aged by days, so that only the times can tell the newest.
    static void writeImage(const QString &name, const QByteArray &bytes, int days = 0)
    {
        QFile file(programFile(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                file.flush());
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(days),
                                 QFileDevice::FileModificationTime));
    }
    QList<sim::TranscriptEntry> entries(Kind kind) const
    {
        QList<sim::TranscriptEntry> out;
        for (const auto &entry : m_s->sim.headend.transcript()) {
            if (entry.kind == kind)
                out.append(entry);
        }
        return out;
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
