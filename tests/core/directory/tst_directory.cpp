#include "directory/directoryfile.h"
#include "directory/headenddirectory.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <csignal>

using namespace keldor;

namespace {

// Runs statements on the file through a connection of the test's own.
QStringList rawQuery(const QString &path, const QStringList &statements) {
    QStringList lastResult;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        db.open();
        for (const QString &statement : statements) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                qWarning() << statement << query.lastError().text();
            lastResult.clear();
            while (query.next())
                lastResult.append(query.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return lastResult;
}

QList<HeadendEntry> rowsInFile(const QString &folder) {
    HeadendDirectory directory;
    if (!directory.open(folder))
        qWarning() << directory.lastError();
    QList<HeadendEntry> rows;
    for (int i = 0; i < directory.count(); ++i)
        rows.append(directory.row(i));
    return rows;
}

HeadendEntry headend(int n) {
    const QString number = QString::number(n);
    return {"Head " + number, "Rack " + number, "10.0.0." + number, "80" + number};
}

// Root ignores file permissions; the read-only cases can only be seen by an ordinary user.
bool permissionsEnforced(const QString &folder) {
    QFile probe(folder + "/probe");
    const bool written = probe.open(QIODevice::WriteOnly);
    probe.remove();
    return !written;
}

} // namespace

class TestDirectory : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir.emplace();
        m_folder = m_dir->path();
        m_path = directoryPath(m_folder);
    }

    void createsTableWithSizedColumns() {
        QVERIFY(!file_exist(m_path));
        QString error;
        QVERIFY2(datenbank_anlegen(m_folder, &error), qPrintable(error));
        QVERIFY(file_exist(m_path));
        QVERIFY(!file_exist(m_folder));
        QCOMPARE(rawQuery(m_path,
                          {"SELECT name || ' ' || type FROM pragma_table_info('KELDOR_Headend')"}),
                 QStringList({"Name VARCHAR(100)", "Location VARCHAR(100)", "IP-Adress VARCHAR(50)",
                              "Port VARCHAR(5)"}));
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));
        QCOMPARE(directory.count(), 0);
    }

    void createRefusesExistingFileAndMissingFolder() {
        QVERIFY(datenbank_anlegen(m_folder));
        {
            HeadendDirectory directory;
            QVERIFY(directory.open(m_folder));
            QVERIFY(directory.update(directory.appendEmpty(), headend(1)));
        }
        QString error;
        QVERIFY(!datenbank_anlegen(m_folder, &error));
        QVERIFY2(error.contains("already there"), qPrintable(error));
        QCOMPARE(rowsInFile(m_folder), QList{headend(1)});

        QVERIFY(!datenbank_anlegen(m_folder + "/missing", &error));
        QVERIFY2(error.contains("does not exist"), qPrintable(error));

        HeadendDirectory directory;
        QVERIFY(!directory.open(m_folder + "/missing"));
        QVERIFY(directory.lastError().contains("does not exist"));
        QCOMPARE(directory.appendEmpty(), -1);
        QCOMPARE(directory.lastError(), "The headend directory is not open.");
    }

    void editsKeepOrderAndSurviveReopening() {
        QVERIFY(datenbank_anlegen(m_folder));
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));

        // Add New and Save without typing: an empty row stays.
        QCOMPARE(directory.appendEmpty(), 0);
        QCOMPARE(rowsInFile(m_folder), QList{HeadendEntry{}});
        QVERIFY(directory.remove(0));
        QCOMPARE(rowsInFile(m_folder), QList<HeadendEntry>{});

        // Duplicates are separate rows; deleting the third of five keeps the order.
        for (int n : {1, 2, 3, 2, 5})
            QVERIFY(directory.update(directory.appendEmpty(), headend(n)));
        QVERIFY(directory.remove(2));
        const QList expected{headend(1), headend(2), headend(2), headend(5)};
        QCOMPARE(rowsInFile(m_folder), expected);
        QCOMPARE(directory.row(2), headend(2));

        QVERIFY(!directory.remove(4));
        QCOMPARE(directory.lastError(), "There is no headend number 5 in the directory.");
        QVERIFY(!directory.update(-1, headend(1)));
        QCOMPARE(rowsInFile(m_folder), expected);

        // Text that looks like SQL is data like any other.
        const HeadendEntry tricky{R"(x'); DROP TABLE "KELDOR_Headend";--)", "O'Brien's; \"rack\"",
                                  "%s ?1 :name", "'--;"};
        QVERIFY2(directory.update(1, tricky), qPrintable(directory.lastError()));
        QCOMPARE(rowsInFile(m_folder).value(1), tricky);
    }

    void overLongValuesAreRefused_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("error");
        QTest::newRow("name") << 0 << 100 << "Name is longer than 100 characters.";
        QTest::newRow("location") << 1 << 100 << "Location is longer than 100 characters.";
        QTest::newRow("ip") << 2 << 50 << "IP-Adress is longer than 50 characters.";
        QTest::newRow("port") << 3 << 5 << "Port is longer than 5 characters.";
    }

    void overLongValuesAreRefused() {
        QFETCH(int, field);
        QFETCH(int, limit);
        QFETCH(QString, error);
        QVERIFY(datenbank_anlegen(m_folder));
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));
        QVERIFY(directory.update(directory.appendEmpty(), headend(1)));

        const auto withValue = [field](HeadendEntry entry, const QString &value) {
            std::array fields{&entry.name, &entry.location, &entry.ip, &entry.port};
            *fields[field] = value;
            return entry;
        };
        // Characters, not UTF-16 units: a symbol outside the basic plane counts once.
        const QString fits = QString(limit - 1, 'x') + QString::fromUcs4(U"\U0001F4E1");
        QVERIFY(directory.update(0, withValue(headend(2), fits)));
        QVERIFY(!directory.update(0, withValue(headend(3), fits + "x")));
        QCOMPARE(directory.lastError(), error);
        QCOMPARE(directory.row(0), withValue(headend(2), fits));
        QCOMPARE(rowsInFile(m_folder), QList{withValue(headend(2), fits)});
    }

    void filesThatAreNoDirectoryAreRefused_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        QTest::newRow("garbage") << QStringList() << QByteArray("Standard Jet DB, honestly\n")
                                 << "file is not a database";
        QTest::newRow("empty file")
            << QStringList() << QByteArray("") << "it has no table KELDOR_Headend";
        QTest::newRow("foreign") << QStringList({"CREATE TABLE Customers (Name TEXT)"})
                                 << QByteArray() << "it has no table KELDOR_Headend";
        QTest::newRow("column missing")
            << QStringList(
                   {R"(CREATE TABLE KELDOR_Headend (Name TEXT, Location TEXT, "IP-Adress" TEXT))"})
            << QByteArray() << R"(its table KELDOR_Headend has no column "Port")";
    }

    void filesThatAreNoDirectoryAreRefused() {
        QFETCH(QStringList, statements);
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        if (statements.isEmpty()) {
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        } else {
            rawQuery(m_path, statements);
        }
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();

        HeadendDirectory directory;
        QVERIFY(!directory.open(m_folder));
        QCOMPARE(directory.lastError(),
                 QString("\"%1\" is not a headend directory: %2.").arg(m_path, problem));
        QVERIFY(!directory.isOpen());
        QVERIFY(file.seek(0));
        QCOMPARE(file.readAll(), before);
    }

    void readOnlyFileAndFolder() {
        const auto writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner;
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(m_folder, writable);
            QFile::setPermissions(m_path, writable);
        });
        QFile::setPermissions(m_folder, readOnly);
        if (!permissionsEnforced(m_folder))
            QSKIP("File permissions are not enforced for this user.");

        QString error;
        QVERIFY(!datenbank_anlegen(m_folder, &error));
        QCOMPARE(error, QString("The headend directory \"%1\" could not be created: its folder is "
                                "read-only.")
                            .arg(m_path));
        QVERIFY(!QFile::exists(m_path));

        QFile::setPermissions(m_folder, writable);
        QVERIFY(datenbank_anlegen(m_folder));
        {
            HeadendDirectory directory;
            QVERIFY(directory.open(m_folder));
            QVERIFY(directory.update(directory.appendEmpty(), headend(1)));
        }
        QFile::setPermissions(m_folder, readOnly);
        checkWritesFail("its folder is read-only");

        QFile::setPermissions(m_folder, writable);
        QFile::setPermissions(m_path, QFile::ReadOwner);
        checkWritesFail("the file is read-only");
    }

    void fullDiskLosesNothing() {
        QVERIFY(datenbank_anlegen(m_folder));
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));
        const HeadendEntry big{QString(100, 'n'), QString(100, 'l'), QString(50, 'i'), "12345"};

        // A file size limit makes the disk look full to this process, root included.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limit = saved;
        limit.rlim_cur = 16 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
        bool failed = false;
        for (int i = 0; i < 200 && !failed; ++i) {
            const int index = directory.appendEmpty();
            failed = index < 0 || !directory.update(index, big);
        }
        setrlimit(RLIMIT_FSIZE, &saved);

        QVERIFY(failed);
        QVERIFY2(directory.lastError().startsWith(
                     QString("The headend directory \"%1\" could not be changed: ").arg(m_path)),
                 qPrintable(directory.lastError()));
        QList<HeadendEntry> shown;
        for (int i = 0; i < directory.count(); ++i)
            shown.append(directory.row(i));
        QCOMPARE(rowsInFile(m_folder), shown);
    }

    void connectionsAreIndependent() {
        QVERIFY(datenbank_anlegen(m_folder));
        HeadendDirectory first;
        QVERIFY(first.open(m_folder));
        QVERIFY(HeadendDirectory().open(m_folder));
        QVERIFY2(first.update(first.appendEmpty(), headend(7)), qPrintable(first.lastError()));
        QCOMPARE(rowsInFile(m_folder), QList{headend(7)});
    }

private:
    void checkWritesFail(const QString &problem) {
        HeadendDirectory directory;
        QVERIFY2(directory.open(m_folder), qPrintable(directory.lastError()));
        const QString error =
            QString("The headend directory \"%1\" could not be changed: %2.").arg(m_path, problem);
        QCOMPARE(directory.appendEmpty(), -1);
        QCOMPARE(directory.lastError(), error);
        QVERIFY(!directory.update(0, headend(2)));
        QCOMPARE(directory.lastError(), error);
        QVERIFY(!directory.remove(0));
        QCOMPARE(directory.count(), 1);
        QCOMPARE(directory.row(0), headend(1));
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestDirectory)
#include "tst_directory.moc"
