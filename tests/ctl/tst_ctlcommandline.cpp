#include "core/features/directory/directoryfile.h"
#include "ctlcompletion.h"
#include "ctlfixture.h"
#include "files.h"
#include "rawdirectory.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTest>


using namespace keldor;

// What keldor-ctl's command line gives besides the commands' work: versions, the JSON object a
// failed --json run ends with, and the completion's answers.
class TestCtlCommandLine : public CtlTest {
    Q_OBJECT

private slots:
    void init() { QVERIFY(start()); }

    // With --json a failure ends with one JSON object on stderr, whatever stage it failed in;
    // a success and the differences diff finds end without one.
    void jsonFailures()
    {
        QVERIFY(writeFile(path("old.kdr"), QByteArray(240, '\0')));
        QVERIFY(writeFile(path("other.kdr"), QByteArray(240, '\1')));
        QVERIFY(writeFile(path("dead.list"), "dead 127.0.0.1:1\n"));
        // clang-format off
        struct Row { QStringList args; int status; QString lastLine; };
        const QList<Row> rows{
            {{"--usb", "get", "16", "1", "--json"}, 2, R"({"error":"unknown option --json","exit":2,"stage":"usage"})"},
            {{"--usb", "info", "--json", "extra"}, 2, R"({"error":"wrong number of arguments for info","exit":2,"stage":"usage"})"},
            {{"--lan", "127.0.0.1:1", "info", "--json"}, 1, R"("exit":1,"stage":"link"})"},
            {{"LAN", "read", "--json"}, 1, R"("exit":1,"stage":"read"})"},
            {{"fleet", "inventory", "--json", "--list", path("dead.list")}, 1, R"({"error":"not every headend succeeded","exit":1,"stage":"fleet"})"},
            {{"diff", path("old.kdr"), path("other.kdr"), "--json"}, 3, ""},
            {{"LAN", "info", "--json"}, 0, ""},
        };
        // clang-format on
        m_sim->headend.setFault({sim::Fault::Disconnect, 0x52, 1, 2});
        for (const Row &row : rows) {
            const CtlRun run = row.args.first() == "LAN" ? lan(row.args.mid(1)) : runCtl(row.args);
            const QString last = run.err.trimmed().section('\n', -1);
            const QByteArray what = (row.args.join(' ') + " -> " + run.err).toLocal8Bit();
            QVERIFY2(run.status == row.status, what);
            QVERIFY2(row.lastLine.isEmpty() ? !last.startsWith('{') : last.endsWith(row.lastLine),
                     what);
        }
    }

    // --version of all three programs: name, version and Qt version, status 0, and no display
    // needed for the desktop program; check keeps the monitoring plugins' status 3 and answers
    // before the link or any other option is looked at.
    void versions()
    {
        const QString bin = QCoreApplication::applicationDirPath() + '/';
        const QString number = QStringLiteral("%1.%2.%3")
                                   .arg(KELDOR_VERSION_MAJOR)
                                   .arg(KELDOR_VERSION_MINOR)
                                   .arg(KELDOR_VERSION_PATCH);
        const QString version = QStringLiteral(" %1 (Qt %2)\n").arg(number, qVersion());
        // clang-format off
        struct Row { QString program; QStringList args; int status; QString out; };
        const QList<Row> rows{
            {"keldor-ctl", {"--version"}, 0, "keldor-ctl" + version},
            {"keldor-ctl", {"--lan", "127.0.0.1:1", "--version"}, 0, "keldor-ctl" + version},
            {"keldor-ctl", {"--trace", "/nonexistent/t", "check", "--warn-temp", "x", "--version"}, 3, "keldor-ctl " + number + "\n"},
            {"headend-sim", {"--version"}, 0, "headend-sim" + version},
            {"keldor-station", {"--version"}, 0, "keldor-station" + version},
            {"keldor-station", {"--help"}, 0, "Usage: "},
        };
        // clang-format on
        for (const Row &row : rows) {
            if (!QFile::exists(bin + row.program))
                continue; // the desktop program is not built without its GUI
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove("DISPLAY");
            environment.remove("WAYLAND_DISPLAY");
            environment.insert("QT_QPA_PLATFORM", "xcb");
            process.setProcessEnvironment(environment);
            process.start(bin + row.program, row.args);
            QVERIFY(process.waitForFinished(10000));
            const QString out = QString::fromUtf8(process.readAllStandardOutput());
            QVERIFY2(process.exitCode() == row.status && out.startsWith(row.out),
                     qPrintable(row.program + ": " + out));
        }
    }

    // --only offers the directory's names that are not given yet; the bash side is
    // scripts/check-completion.sh.
    void completeFromDirectory()
    {
        const QString directory = path("headend.mdb");
        QList<keldor::HeadendEntry> entries;
        for (const char *name : {"adler", "alpen", "post"})
            entries.append({name, {}, "127.0.0.1", "1"});
        QVERIFY(createDirectoryFile(m_dir->path()) && insertRawRows(directory, entries));
        // clang-format off
        struct Row { QString typed; QString offered; };
        const QList<Row> rows{
            {"a", "adler alpen"},
            {"alpen,", "alpen,adler alpen,post"},
            {"x", ""},
        };
        // clang-format on
        for (const Row &row : rows) {
            const QStringList words = QStringList{"fleet", "backup", "b", "--directory"}
                                      << directory << "--only" << row.typed;
            QCOMPARE(completeCommandLine(words, 6).join(' '), row.offered);
        }
    }
};

QTEST_GUILESS_MAIN(TestCtlCommandLine)
#include "tst_ctlcommandline.moc"
