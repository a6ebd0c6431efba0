#include "directory/directoryfile.h"
#include "directory/headenddirectory.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

QList<HeadendEntry> rows(const HeadendDirectory &directory)
{
    QList<HeadendEntry> all;
    for (int i = 0; i < directory.count(); ++i)
        all.append(directory.row(i));
    return all;
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
        QVERIFY(datenbank_anlegen(m_folder, &m_error));
        QVERIFY(m_directory.open(m_folder));
    }
    void cleanup() { m_directory.close(); }

    void creationNeverReplacesADirectory()
    {
        const QString path = directoryPath(m_folder);
        QVERIFY(file_exist(path) && !file_exist(m_folder));
        {
            auto db = QSqlDatabase::addDatabase("QSQLITE", "raw");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query("SELECT name || ' ' || type FROM pragma_table_info('KELDOR_Headend')",
                            db);
            QStringList columns;
            while (query.next())
                columns.append(query.value(0).toString());
            QCOMPARE(columns, QStringList({"Name VARCHAR(100)", "Location VARCHAR(100)",
                                           "IP-Adress VARCHAR(50)", "Port VARCHAR(5)"}));
        }
        QSqlDatabase::removeDatabase("raw");
        QVERIFY(m_directory.update(m_directory.appendEmpty(), headend(1)));
        QVERIFY(!datenbank_anlegen(m_folder, &m_error));
        QCOMPARE(m_error, QString("The headend directory \"%1\" could not be created: a file of "
                                  "this name is already there.")
                              .arg(path));
        QCOMPARE(rowsInFile(), QList{headend(1)});

        QVERIFY(!datenbank_anlegen(m_folder + "/gone", &m_error));
        QVERIFY(m_error.endsWith("the folder \"" + m_folder + "/gone\" does not exist."));
        HeadendDirectory gone;
        QVERIFY(!gone.open(m_folder + "/gone"));
        QVERIFY(gone.lastError().endsWith("/gone/headend.mdb\" does not exist."));
        QCOMPARE(gone.appendEmpty(), -1);
        QCOMPARE(gone.lastError(), "The headend directory is not open.");
    }

    void editing()
    {
        // Add New and Save without typing leaves an empty row; it can be deleted as the only one.
        QCOMPARE(m_directory.appendEmpty(), 0);
        QCOMPARE(rowsInFile(), QList{HeadendEntry{}});
        QVERIFY(m_directory.remove(0));
        QCOMPARE(rowsInFile(), QList<HeadendEntry>{});

        // Duplicates are rows of their own; deleting the third of five keeps the order.
        for (int n : {1, 2, 3, 2, 5})
            QVERIFY(m_directory.update(m_directory.appendEmpty(), headend(n)));
        QVERIFY(m_directory.remove(2));
        const QList expected{headend(1), headend(2), headend(2), headend(5)};
        QCOMPARE(rows(m_directory), expected);
        QVERIFY(!m_directory.remove(4));
        QCOMPARE(m_directory.lastError(), "There is no headend number 5 in the directory.");
        QVERIFY(!m_directory.update(-1, headend(1)));
        QCOMPARE(rowsInFile(), expected);

        const HeadendEntry sqlish{R"(x'); DROP TABLE "KELDOR_Headend";--)", "O'Brien; \"A\"",
                                  "?1 :name %s", "'--;"};
        QVERIFY2(m_directory.update(1, sqlish), qPrintable(m_directory.lastError()));
        QCOMPARE(rowsInFile().value(1), sqlish);
    }

    void overLongValuesAreRefused()
    {
        QVERIFY(m_directory.update(m_directory.appendEmpty(), headend(1)));
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
            QVERIFY(m_directory.update(0, fits));
            HeadendEntry tooLong = headend(3);
            tooLong.*fields[i] = fits.*fields[i] + "x";
            QVERIFY(!m_directory.update(0, tooLong));
            QCOMPARE(m_directory.lastError(), errors.at(int(i)));
            QCOMPARE(rowsInFile(), QList{fits});
        }
    }

private:
    QList<HeadendEntry> rowsInFile() const
    {
        HeadendDirectory directory;
        directory.open(m_folder);
        return rows(directory);
    }

    std::optional<QTemporaryDir> m_dir;
    QString m_folder;
    QString m_error;
    HeadendDirectory m_directory;
};

QTEST_GUILESS_MAIN(TestDirectory)
#include "tst_directory.moc"
