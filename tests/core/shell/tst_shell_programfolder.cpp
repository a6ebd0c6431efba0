#include "shell/programfolder.h"

#include <QCoreApplication>
#include <QTest>

using namespace keldor;

class TestProgramFolder : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        setProgramFolderOverride({});
        qunsetenv("KELDOR_PROGRAM_DIR");
    }

    void overrideBeatsEnvironmentBeatsExecutableFolder()
    {
        // The build folder is writable, so a portable copy keeps its files beside itself.
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());

        qputenv("KELDOR_PROGRAM_DIR", "/tmp/keldor-env/");
        QCOMPARE(programFolder(), "/tmp/keldor-env");

        setProgramFolderOverride("/tmp/keldor-override");
        QCOMPARE(programFolder(), "/tmp/keldor-override");
        QCOMPARE(programFile("headend.mdb"), "/tmp/keldor-override/headend.mdb");

        setProgramFolderOverride({});
        QCOMPARE(programFile("sat.ico"), "/tmp/keldor-env/sat.ico");
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_shell_programfolder.moc"
