#include "directory/formheadend.h"
#include "directory/formheadendedit.h"

#include "shell/mdiform1.h"
#include "stationfixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace keldor;
using Rows = QList<HeadendEntry>;
using Answer = UserInterface::Answer;

namespace {

Rows rows(int count, int changedRow = -1, const QString &port = {}, int deleted = -1)
{
    Rows out;
    for (const QString name : {"A", "B", "C", "D", "E"})
        out.append({name, "Hall " + name, "10.0.0.1", out.size() == changedRow ? port : "4001"});
    if (deleted >= 0)
        out.removeAt(deleted);
    return out.mid(0, count);
}

// Steps: a button, a navigator move, or "Box=text" typed into a box.
struct Flow {
    const char *name;
    int count;
    const char *steps;
    Answer answer;
    Rows after;
    const char *caption;
};
const Flow flows[] = {
    {"add and save", 5, "AddNew|Text_Name=R7|Text_IP=192.168.1.20|Save", Answer::Ok,
     rows(5) + Rows{{"R7", "", "192.168.1.20", ""}}, "Headend (6/6)"},
    {"save into an empty directory", 0, "Modify|Text_Name=R9|Save", Answer::Ok,
     Rows{{"R9", "", "", ""}}, "Headend (1/1)"},
    {"written when the navigator moves", 5, "next|Modify|Text_Port=5000|next", Answer::Ok,
     rows(5, 1, "5000"), "Headend (3/5)"},
    {"navigator stops at the ends", 5, "last|next|previous|first|previous", Answer::Ok, rows(5),
     "Headend (1/5)"},
    {"delete the third", 5, "next|next|Delete", Answer::Ok, rows(4, -1, {}, 2), "Headend (2/4)"},
    {"delete cancelled", 5, "Modify|Delete", Answer::Cancel, rows(5), "Headend (1/5)"},
    {"delete the only row", 1, "Delete", Answer::Ok, Rows{}, "Headend (1/0)"},
};

} // namespace

class TestDirectoryWindows : public QObject {
    Q_OBJECT

private slots:
    void init() { m_f.emplace(); }
    void cleanup()
    {
        m_window.reset();
        m_f.reset();
    }

    void editorFlows_data()
    {
        QTest::addColumn<int>("row");
        for (const Flow &flow : flows)
            QTest::addRow("%s", flow.name) << int(&flow - flows);
    }
    void editorFlows()
    {
        QFETCH(int, row);
        const Flow &flow = flows[row];
        QVERIFY(m_f->writeDirectory(rows(flow.count)));
        m_f->ui.answers = {flow.answer};
        Form_Headend_Edit &editor = open();
        QCOMPARE(editor.findChild<QWidget *>("Data1")->isEnabled(), flow.count > 0);
        const std::map<QString, void (Form_Headend_Edit::*)()> moves{
            {"first", &Form_Headend_Edit::moveFirst},
            {"previous", &Form_Headend_Edit::movePrevious},
            {"next", &Form_Headend_Edit::moveNext},
            {"last", &Form_Headend_Edit::moveLast}};
        const QString steps = flow.steps;
        for (const QString &step : steps.split('|')) {
            if (step.contains('='))
                editor.findChild<QLineEdit *>(step.section('=', 0, 0))
                    ->setText(step.section('=', 1));
            else if (moves.contains(step))
                (editor.*moves.at(step))();
            else
                editor.findChild<QPushButton *>("Command_" + step)->click();
        }

        QCOMPARE(m_f->directoryRows(), flow.after);
        QCOMPARE(editor.positionCaption(), flow.caption);
        QCOMPARE(editor.findChild<QWidget *>("Data1")->isEnabled(), !flow.after.isEmpty());
        QCOMPARE(m_f->ui.texts(),
                 steps.contains("Del") ? QStringList{"Are you sure ?"} : QStringList());
    }

    // The refused entry keeps the row, the text, the window and the program open until it fits.
    void overLongEntryStaysOnTheRow()
    {
        QVERIFY(m_f->writeDirectory(rows(5)));
        Form_Headend_Edit &editor = open();
        m_window->show();
        editor.findChild<QPushButton *>("Command_Modify")->click();
        auto *port = editor.findChild<QLineEdit *>("Text_Port");
        port->setText("654321");
        editor.moveNext();
        QCOMPARE(m_f->ui.texts(), QStringList{"Port is longer than 5 characters."});
        QCOMPARE(editor.positionCaption(), "Headend (1/5)");
        QVERIFY(!m_window->close());
        QCOMPARE(port->text(), "654321");
        QVERIFY(port->isEnabled());
        QCOMPARE(m_f->directoryRows(), rows(5));
        port->setText("65432");
        QVERIFY(m_window->close());
        QCOMPARE(m_f->directoryRows(), rows(5, 0, "65432"));
    }

    void selection()
    {
        QVERIFY(m_f->writeDirectory({}));
        delete new Form_Headend(m_f->station);
        QCOMPARE(m_f->ui.texts(), {"   Selection not possible.\rPlease edit a headend first!"});
        QVERIFY(QFile::remove(directoryPath(m_f->folder.path())));
        QVERIFY(m_f->writeDirectory({{"R1", "", "10.0.0.1", "4001"}, {"R2", "", "10.0.0.2", "4"}}));
        Form_Headend selection(m_f->station);
        selection.show();
        QVERIFY(QTest::qWaitForWindowExposed(&selection));
        const QPoint cell =
            selection.grid()->visualRect(selection.grid()->model()->index(1, 2)).center();
        QTest::mouseClick(selection.grid()->viewport(), Qt::LeftButton, {}, cell);
        QTest::mouseDClick(selection.grid()->viewport(), Qt::LeftButton, {}, cell);
        const ShellState &shell = m_f->station.shell;
        QCOMPARE(QStringList({shell.active_headend_name, shell.active_headend_ip,
                              shell.active_headend_port}),
                 QStringList({"R2", "10.0.0.2", "4"}));
        QCOMPARE(m_f->ui.panels[1], "Active Headend: R2");
        QCOMPARE(selection.result(), int(QDialog::Accepted));
    }

private:
    Form_Headend_Edit &open()
    {
        m_window = std::make_unique<MDIForm1>(m_f->station, WindowRegistry());
        auto *editor = new Form_Headend_Edit(m_f->station, *m_window);
        m_window->addChildWindow(editor);
        return *editor;
    }

    std::optional<StationFixture> m_f;
    std::unique_ptr<MDIForm1> m_window;
};

QTEST_MAIN(TestDirectoryWindows)
#include "tst_directorywindows.moc"
