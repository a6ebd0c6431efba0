#include "directory/directoryfile.h"
#include "directory/headenddirectory.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

// Runs statements through a connection of the test's own; the first column of the last result.
QStringList rawQuery(const QString &path, const QStringList &statements)
{
    QStringList result;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        db.open();
        for (const QString &statement : statements) {
            QSqlQuery query(db);
            query.exec(statement);
            for (result.clear(); query.next();)
                result.append(query.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return result;
}

QList<HeadendEntry> rows(const HeadendDirectory &directory)
{
    QList<HeadendEntry> all;
    for (int i = 0; i < directory.count(); ++i)
        all.append(directory.row(i));
    return all;
}

QList<HeadendEntry> rowsInFile(const QString &folder)
{
    HeadendDirectory directory;
    directory.open(folder);
    return rows(directory);
}

HeadendEntry headend(int n)
{
    const QString number = QString::number(n);
    return {"Head " + number, "Rack " + number, "10.0.0." + number, "80" + number};
}

} // namespace

class TestDirectory : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        m_folder = m_dir->path();
        m_path = directoryPath(m_folder);
    }

    void creation()
    {
        QString error;
        QVERIFY(!file_exist(m_path));
        QVERIFY2(datenbank_anlegen(m_folder, &error), qPrintable(error));
        QVERIFY(file_exist(m_path));
        QVERIFY(!file_exist(m_folder));
        QCOMPARE(rawQuery(m_path, {"SELECT name || ' ' || type FROM pragma_table_info("
                                   "'KELDOR_Headend')"}),
                 QStringList({"Name VARCHAR(100)", "Location VARCHAR(100)", "IP-Adress VARCHAR(50)",
                              "Port VARCHAR(5)"}));

        // An existing directory is never replaced.
        {
            HeadendDirectory directory;
            QVERIFY(directory.open(m_folder));
            QVERIFY(directory.update(directory.appendEmpty(), headend(1)));
        }
        QVERIFY(!datenbank_anlegen(m_folder, &error));
        QCOMPARE(error, QString("The headend directory \"%1\" could not be created: a file of "
                                "this name is already there.")
                            .arg(m_path));
        QCOMPARE(rowsInFile(m_folder), QList{headend(1)});

        QVERIFY(!datenbank_anlegen(m_folder + "/gone", &error));
        QVERIFY2(error.endsWith("the folder \"" + m_folder + "/gone\" does not exist."),
                 qPrintable(error));
        HeadendDirectory directory;
        QVERIFY(!directory.open(m_folder + "/gone"));
        QVERIFY(directory.lastError().endsWith("/gone/headend.mdb\" does not exist."));
        QCOMPARE(directory.appendEmpty(), -1);
        QCOMPARE(directory.lastError(), "The headend directory is not open.");
    }

    void editing()
    {
        QVERIFY(datenbank_anlegen(m_folder));
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));

        // Add New and Save without typing leaves an empty row; it can be deleted as the only one.
        QCOMPARE(directory.appendEmpty(), 0);
        QCOMPARE(rowsInFile(m_folder), QList{HeadendEntry{}});
        QVERIFY(directory.remove(0));
        QCOMPARE(rowsInFile(m_folder), QList<HeadendEntry>{});

        // Duplicates are rows of their own; deleting the third of five keeps the order.
        for (int n : {1, 2, 3, 2, 5})
            QVERIFY(directory.update(directory.appendEmpty(), headend(n)));
        QVERIFY(directory.remove(2));
        const QList expected{headend(1), headend(2), headend(2), headend(5)};
        QCOMPARE(rows(directory), expected);
        QCOMPARE(rowsInFile(m_folder), expected);

        QVERIFY(!directory.remove(4));
        QCOMPARE(directory.lastError(), "There is no headend number 5 in the directory.");
        QVERIFY(!directory.update(-1, headend(1)));
        QCOMPARE(rowsInFile(m_folder), expected);

        const HeadendEntry sqlish{R"(x'); DROP TABLE "KELDOR_Headend";--)", "O'Brien; \"A\"",
                                  "?1 :name %s", "'--;"};
        QVERIFY2(directory.update(1, sqlish), qPrintable(directory.lastError()));
        QCOMPARE(rowsInFile(m_folder).value(1), sqlish);
    }

    void overLongValuesAreRefused()
    {
        makeDirectory({1});
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));
        const std::array<QString HeadendEntry::*, 4> fields{
            &HeadendEntry::name, &HeadendEntry::location, &HeadendEntry::ip, &HeadendEntry::port};
        const std::array limits{100, 100, 50, 5};
        const QStringList errors{
            "Name is longer than 100 characters.", "Location is longer than 100 characters.",
            "IP-Adress is longer than 50 characters.", "Port is longer than 5 characters."};
        for (size_t i = 0; i < fields.size(); ++i) {
            // Characters, not UTF-16 units: a symbol outside the basic plane counts once.
            HeadendEntry fits = headend(2);
            fits.*fields[i] = QString(limits[i] - 1, 'x') + QString::fromUcs4(U"\U0001F4E1");
            QVERIFY(directory.update(0, fits));
            HeadendEntry tooLong = headend(3);
            tooLong.*fields[i] = fits.*fields[i] + "x";
            QVERIFY(!directory.update(0, tooLong));
            QCOMPARE(directory.lastError(), errors.at(int(i)));
            QCOMPARE(rowsInFile(m_folder), QList{fits});
        }
    }

private:
    // A directory file holding the numbered example headends.
    void makeDirectory(const QList<int> &numbers)
    {
        QVERIFY(datenbank_anlegen(m_folder));
        HeadendDirectory directory;
        QVERIFY(directory.open(m_folder));
        for (int n : numbers)
            QVERIFY(directory.update(directory.appendEmpty(), headend(n)));
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestDirectory)
#include "tst_directory.moc"
