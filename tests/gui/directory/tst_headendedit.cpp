#include "directory/formheadendedit.h"

#include "directory/formheadend.h"
#include "shell/mdiform1.h"
#include "stationfixture.h"
#include "unwritable.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace keldor;

namespace {

const QStringList textNames{"Text_Name", "Text_Location", "Text_IP", "Text_Port"};

QList<HeadendEntry> fiveRows()
{
    QList<HeadendEntry> rows;
    for (const QString name : {"A", "B", "C", "D", "E"})
        rows.append({name, "Hall " + name, "10.0.0.1", "4001"});
    return rows;
}

} // namespace

class TestHeadendEdit : public QObject {
    Q_OBJECT

private slots:
    void init() { m_fixture = std::make_unique<StationFixture>(); }

    void cleanup()
    {
        m_editor.clear();
        m_window.reset();
        m_fixture.reset();
    }

    void loadShowsTheFirstRow()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/5)"));
        QCOMPARE(text("Text_Name")->text(), QStringLiteral("A"));
        QCOMPARE(text("Text_Location")->text(), QStringLiteral("Hall A"));
        for (const QString &name : textNames)
            QVERIFY(!text(name)->isEnabled());
        QVERIFY(!button("Command_Save")->isEnabled());
        QVERIFY(editor.findChild<QWidget *>("Data1")->isEnabled());
    }

    void emptyDirectory()
    {
        QVERIFY(m_fixture->writeDirectory({}));
        Form_Headend_Edit &editor = open();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (0/0)"));
        QVERIFY(!editor.findChild<QWidget *>("Data1")->isEnabled());
    }

    void navigator()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        editor.moveLast();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (5/5)"));
        editor.moveNext();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (5/5)"));
        editor.movePrevious();
        QCOMPARE(text("Text_Name")->text(), QStringLiteral("D"));
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (4/5)"));
        editor.moveFirst();
        editor.movePrevious();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/5)"));
    }

    void addNewAndSaveWithoutTyping()
    {
        QVERIFY(m_fixture->writeDirectory({}));
        Form_Headend_Edit &editor = open();
        button("Command_AddNew")->click();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/1)"));
        QVERIFY(button("Command_Save")->isEnabled());
        for (const QString &name : textNames)
            QVERIFY(text(name)->isEnabled());
        button("Command_Save")->click();

        QCOMPARE(m_fixture->directoryRows(), QList<HeadendEntry>{HeadendEntry()});
        QVERIFY(m_fixture->ui.messages.isEmpty());
        Form_Headend selection(m_fixture->station);
        QCOMPARE(selection.grid()->model()->rowCount(), 1);
        QCOMPARE(selection.grid()->model()->index(0, 0).data().toString(), QString());
    }

    void addNewStoresWhatWasTyped()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        button("Command_AddNew")->click();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (6/6)"));
        QTest::keyClicks(text("Text_Name"), "Rack 7");
        QTest::keyClicks(text("Text_IP"), "192.168.1.20");
        QTest::keyClicks(text("Text_Port"), "4001");
        button("Command_Save")->click();
        QCOMPARE(m_fixture->directoryRows().value(5),
                 (HeadendEntry{"Rack 7", "", "192.168.1.20", "4001"}));
    }

    void saveForgetsTheActiveHeadend()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        m_fixture->station.shell.active_headend_name = QStringLiteral("B");
        open();
        button("Command_Modify")->click();
        button("Command_Save")->click();
        QCOMPARE(m_fixture->station.shell.active_headend_name, QStringLiteral("non"));
        QCOMPARE(m_fixture->ui.panels[1], QStringLiteral("Active Headend: non"));
        QCOMPARE(m_fixture->ui.panels[2], QStringLiteral("Offline"));
        QTRY_VERIFY(m_editor.isNull());
    }

    void modifyIsWrittenWhenTheNavigatorMoves()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        editor.moveNext();
        button("Command_Modify")->click();
        text("Text_Port")->setText(QStringLiteral("5000"));
        editor.moveNext();
        QCOMPARE(m_fixture->directoryRows().value(1).port, QStringLiteral("5000"));
        QCOMPARE(text("Text_Name")->text(), QStringLiteral("C"));
    }

    void typedTextIsKeptWhenTheWindowCloses()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        open();
        button("Command_Modify")->click();
        text("Text_Location")->setText(QStringLiteral("Roof"));
        m_window->closeAllChildWindows();
        QCOMPARE(m_fixture->directoryRows().value(0).location, QStringLiteral("Roof"));
    }

    void tooLongEntryIsRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("message");
        QTest::newRow("name") << "Text_Name" << 101 << "Name is longer than 100 characters.";
        QTest::newRow("location") << "Text_Location" << 101
                                  << "Location is longer than 100 characters.";
        QTest::newRow("ip") << "Text_IP" << 51 << "IP-Adress is longer than 50 characters.";
        QTest::newRow("port") << "Text_Port" << 6 << "Port is longer than 5 characters.";
    }

    void tooLongEntryIsRefused()
    {
        QFETCH(QString, field);
        QFETCH(int, length);
        QFETCH(QString, message);
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        button("Command_Modify")->click();
        const QString typed(length, QLatin1Char('9'));
        text(field)->setText(typed);

        editor.moveNext();
        QCOMPARE(m_fixture->ui.texts(), QStringList{message});
        QCOMPARE(m_fixture->ui.messages.first().title, QStringLiteral("Edit Headends"));
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/5)"));
        QCOMPARE(text(field)->text(), typed);

        m_window->closeAllChildWindows();
        QVERIFY(!m_editor.isNull());
        QCOMPARE(m_window->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(text(field)->text(), typed);
        QCOMPARE(m_fixture->directoryRows(), fiveRows());

        button("Command_Save")->click();
        QCOMPARE(m_fixture->ui.messages.size(), 3);
        QVERIFY(text(field)->isEnabled());

        text(field)->setText(typed.left(length - 1));
        m_window->closeAllChildWindows();
        QTRY_VERIFY(m_editor.isNull());
        QCOMPARE(columnValues(m_fixture->directoryRows().value(0))[textNames.indexOf(field)],
                 typed.left(length - 1));
    }

    void programStaysOpenWhileAnEntryIsRefused()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        open();
        m_window->show();
        button("Command_Modify")->click();
        text("Text_Port")->setText(QStringLiteral("654321"));
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        QCOMPARE(text("Text_Port")->text(), QStringLiteral("654321"));
        text("Text_Port")->setText(QStringLiteral("65432"));
        QVERIFY(m_window->close());
        QCOMPARE(m_fixture->directoryRows().value(0).port, QStringLiteral("65432"));
    }

    void deleteTheOnlyRow()
    {
        QVERIFY(m_fixture->writeDirectory({{"Only", "", "10.0.0.9", "80"}}));
        Form_Headend_Edit &editor = open();
        button("Command_Delete")->click();
        QCOMPARE(m_fixture->ui.messages.size(), 1);
        const RecordingUi::Message &question = m_fixture->ui.messages.first();
        QCOMPARE(question.text, QStringLiteral("Are you sure ?"));
        QCOMPARE(question.title, QStringLiteral("Delete Headend"));
        QCOMPARE(question.icon, UserInterface::Icon::Question);
        QCOMPARE(question.buttons, UserInterface::Buttons::OkCancel);

        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/0)"));
        QVERIFY(!editor.findChild<QWidget *>("Data1")->isEnabled());
        for (const QString &name : textNames) {
            QVERIFY(!text(name)->isEnabled());
            QVERIFY(text(name)->text().isEmpty());
        }
        QVERIFY(m_fixture->directoryRows().isEmpty());
    }

    void deleteTheThirdOfFive()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        editor.moveNext();
        editor.moveNext();
        button("Command_Delete")->click();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (2/4)"));
        QCOMPARE(text("Text_Name")->text(), QStringLiteral("B"));
        QList<HeadendEntry> expected = fiveRows();
        expected.removeAt(2);
        QCOMPARE(m_fixture->directoryRows(), expected);
    }

    void deleteTheFirstOfFive()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        button("Command_Delete")->click();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/4)"));
        QCOMPARE(text("Text_Name")->text(), QStringLiteral("B"));
    }

    void cancelledDeleteChangesNothing()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        Form_Headend_Edit &editor = open();
        button("Command_Modify")->click();
        m_fixture->ui.answers = {UserInterface::Answer::Cancel};
        button("Command_Delete")->click();
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/5)"));
        QVERIFY(text("Text_Name")->isEnabled());
        QCOMPARE(m_fixture->directoryRows(), fiveRows());
    }

    void modifyOnAnEmptyDirectoryKeepsWhatWasTyped()
    {
        QVERIFY(m_fixture->writeDirectory({}));
        Form_Headend_Edit &editor = open();
        button("Command_Modify")->click();
        text("Text_Name")->setText(QStringLiteral("Rack 9"));
        button("Command_Save")->click();
        QCOMPARE(m_fixture->directoryRows(), (QList<HeadendEntry>{{"Rack 9", "", "", ""}}));
        Q_UNUSED(editor);
    }

    void readOnlyDirectoryFileIsReported()
    {
        QVERIFY(m_fixture->writeDirectory(fiveRows()));
        const Unwritable file(directoryPath(m_fixture->folder.path()));
        QVERIFY(file.ok());
        Form_Headend_Edit &editor = open();
        button("Command_Modify")->click();
        text("Text_Name")->setText(QStringLiteral("Z"));
        editor.moveNext();
        QCOMPARE(m_fixture->ui.messages.size(), 1);
        QCOMPARE(text("Text_Name")->text(), QStringLiteral("Z"));
        QCOMPARE(editor.positionCaption(), QStringLiteral("Headend (1/5)"));
    }

private:
    Form_Headend_Edit &open()
    {
        m_window = std::make_unique<MDIForm1>(m_fixture->station, WindowRegistry());
        m_editor = new Form_Headend_Edit(m_fixture->station, *m_window);
        m_window->addChildWindow(m_editor);
        return *m_editor;
    }

    QLineEdit *text(const QString &name) const { return m_editor->findChild<QLineEdit *>(name); }
    QPushButton *button(const QString &name) const
    {
        return m_editor->findChild<QPushButton *>(name);
    }

    std::unique_ptr<StationFixture> m_fixture;
    std::unique_ptr<MDIForm1> m_window;
    QPointer<Form_Headend_Edit> m_editor;
};

QTEST_MAIN(TestHeadendEdit)
#include "tst_headendedit.moc"
