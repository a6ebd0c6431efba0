#include "gui/directory/directoryeditor.h"

#include "core/features/shell/programfolder.h"
#include "gui/app/mainwindow.h"
#include "gui/directory/headendpicker.h"
#include "gui/station/station.h"
#include "gui/ui/childwindow.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace keldor {

namespace {

const QString editTitle = QStringLiteral("Edit Headends");

} // namespace

DirectoryEditor::DirectoryEditor(Station &station, MainWindow &mainWindow, QWidget *parent)
    : QWidget(parent)
    , m_station(station)
    , m_mainWindow(mainWindow)
    , m_addNew(new QPushButton(QStringLiteral("Add New"), this))
    , m_modify(new QPushButton(QStringLiteral("Modify"), this))
    , m_delete(new QPushButton(QStringLiteral("Delete"), this))
    , m_save(new QPushButton(QStringLiteral("Save"), this))
{
    setObjectName(QStringLiteral("Form_Headend_Edit"));
    setWindowTitle(editTitle);

    static constexpr std::array<const char *, 4> names{"Text_Name", "Text_Location", "Text_IP",
                                                       "Text_Port"};
    static constexpr std::array<const char *, 4> labels{
        "Name:", "Location:", "IP-Adress:", "Port:"};
    auto *fields = new QFormLayout;
    const int charWidth = fontMetrics().horizontalAdvance(u'M');
    for (size_t i = 0; i < m_texts.size(); ++i) {
        m_texts[i] = new QLineEdit(this);
        m_texts[i]->setObjectName(QLatin1String(names[i]));
        m_texts[i]->setMinimumWidth(charWidth * 22);
        fields->addRow(QLatin1String(labels[i]), m_texts[i]);
    }
    m_addNew->setObjectName(QStringLiteral("Command_AddNew"));
    m_modify->setObjectName(QStringLiteral("Command_Modify"));
    m_delete->setObjectName(QStringLiteral("Command_Delete"));
    m_save->setObjectName(QStringLiteral("Command_Save"));
    m_save->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : {m_addNew, m_modify, m_delete, m_save})
        buttons->addWidget(button);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildNavigator());
    layout->addWidget(buildProblemNote());
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(m_texts[Name], &QLineEdit::textChanged, this, &DirectoryEditor::updateCaption);
    connect(m_addNew, &QPushButton::clicked, this, &DirectoryEditor::addNew);
    connect(m_modify, &QPushButton::clicked, this, &DirectoryEditor::modify);
    connect(m_delete, &QPushButton::clicked, this, &DirectoryEditor::deleteRow);
    connect(m_save, &QPushButton::clicked, this, &DirectoryEditor::save);
    load();
}

QWidget *DirectoryEditor::buildNavigator()
{
    m_navigator = new QWidget(this);
    m_navigator->setObjectName(QStringLiteral("Data1"));
    auto *row = new QHBoxLayout(m_navigator);
    row->setContentsMargins(0, 0, 0, 0);
    const auto addButton = [&](const char *name, QStyle::StandardPixmap icon, const QString &tip,
                               void (DirectoryEditor::*move)()) {
        auto *button = new QToolButton(m_navigator);
        button->setObjectName(QLatin1String(name));
        button->setIcon(style()->standardIcon(icon));
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        connect(button, &QToolButton::clicked, this, move);
        row->addWidget(button);
    };
    addButton("Data1_First", QStyle::SP_MediaSkipBackward, QStringLiteral("First headend"),
              &DirectoryEditor::moveFirst);
    addButton("Data1_Previous", QStyle::SP_MediaSeekBackward, QStringLiteral("Previous headend"),
              &DirectoryEditor::movePrevious);
    m_caption = new QLabel(m_navigator);
    m_caption->setObjectName(QStringLiteral("Data1_Caption"));
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setFrameShape(QFrame::StyledPanel);
    row->addWidget(m_caption, 1);
    addButton("Data1_Next", QStyle::SP_MediaSeekForward, QStringLiteral("Next headend"),
              &DirectoryEditor::moveNext);
    addButton("Data1_Last", QStyle::SP_MediaSkipForward, QStringLiteral("Last headend"),
              &DirectoryEditor::moveLast);
    return m_navigator;
}

QWidget *DirectoryEditor::buildProblemNote()
{
    m_problemNote = new QWidget(this);
    auto *row = new QHBoxLayout(m_problemNote);
    row->setContentsMargins(0, 0, 0, 0);
    auto *icon = new QLabel(m_problemNote);
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    m_problem = new QLabel(m_problemNote);
    m_problem->setObjectName(QStringLiteral("Label_Problem"));
    m_problem->setWordWrap(true);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(m_problem, 1);
    m_problemNote->hide();
    return m_problemNote;
}

void DirectoryEditor::load()
{
    if (!m_directory.open(programFolder())) {
        reportError(m_directory.lastError());
        m_addNew->setEnabled(false);
        m_modify->setEnabled(false);
        m_delete->setEnabled(false);
    }
    m_count = m_directory.count();
    setTextsEnabled(false);
    m_navigator->setEnabled(m_count > 0);
    showRow(m_count > 0 ? 0 : -1);
}

QString DirectoryEditor::positionCaption() const
{
    return m_caption->text();
}

void DirectoryEditor::updateCaption()
{
    m_caption->setText(QStringLiteral("Headend (%1/%2)").arg(m_position + 1).arg(m_count));
}

void DirectoryEditor::setTextsEnabled(bool enabled)
{
    for (QLineEdit *text : m_texts)
        text->setEnabled(enabled);
}

void DirectoryEditor::showRow(int row)
{
    m_position = row;
    const HeadendEntry entry = m_directory.row(row);
    m_texts[Location]->setText(entry.location);
    m_texts[Ip]->setText(entry.ip);
    m_texts[Port]->setText(entry.port);
    m_texts[Name]->setText(entry.name);
    const QString problem = m_directory.rowProblem(row);
    m_problem->setText(problem +
                       QStringLiteral(" Shorten it with Modify, or delete this headend."));
    m_problemNote->setVisible(!problem.isEmpty());
    // The note takes room of its own: the window grows rather than squeezing the fields.
    if (QWidget *frame = parentWidget(); frame && !problem.isEmpty())
        frame->resize(frame->size().expandedTo(frame->sizeHint()));
    updateCaption();
}

HeadendEntry DirectoryEditor::typedEntry() const
{
    return {m_texts[Name]->text(), m_texts[Location]->text(), m_texts[Ip]->text(),
            m_texts[Port]->text()};
}

void DirectoryEditor::reportError(const QString &text)
{
    m_station.ui.message(UserInterface::Icon::Critical, editTitle, text);
}

bool DirectoryEditor::storeTyped()
{
    if (!m_texts[Name]->isEnabled())
        return true;
    const HeadendEntry typed = typedEntry();
    if (m_position < 0 || m_position >= m_directory.count()) {
        // Modify on an empty directory: whatever was typed becomes a row of its own.
        if (typed == HeadendEntry())
            return true;
        const QString tooLong = lengthError(typed);
        if (!tooLong.isEmpty()) {
            reportError(tooLong);
            return false;
        }
        const int row = m_directory.appendEmpty();
        if (row < 0 || !m_directory.update(row, typed)) {
            reportError(m_directory.lastError());
            return false;
        }
        m_position = row;
        m_count = m_directory.count();
        m_navigator->setEnabled(true);
        updateCaption();
        return true;
    }
    // A marked row is stored only once it fits.
    if (typed == m_directory.row(m_position) && m_directory.rowProblem(m_position).isEmpty())
        return true;
    const QString tooLong = lengthError(typed);
    if (!tooLong.isEmpty()) {
        reportError(tooLong);
        return false;
    }
    if (!m_directory.update(m_position, typed)) {
        reportError(m_directory.lastError());
        return false;
    }
    return true;
}

bool DirectoryEditor::moveTo(int row)
{
    if (m_directory.count() == 0 || !storeTyped())
        return false;
    showRow(qBound(0, row, m_directory.count() - 1));
    return true;
}

void DirectoryEditor::moveFirst()
{
    moveTo(0);
}

void DirectoryEditor::movePrevious()
{
    moveTo(m_position - 1);
}

void DirectoryEditor::moveNext()
{
    moveTo(m_position + 1);
}

void DirectoryEditor::moveLast()
{
    moveTo(m_directory.count() - 1);
}

void DirectoryEditor::addNew()
{
    if (!storeTyped())
        return;
    const int row = m_directory.appendEmpty();
    if (row < 0) {
        reportError(m_directory.lastError());
        return;
    }
    m_save->setEnabled(true);
    m_navigator->setEnabled(true);
    setTextsEnabled(true);
    m_count = m_directory.count();
    showRow(row);
    m_texts[Name]->setFocus();
}

void DirectoryEditor::modify()
{
    m_save->setEnabled(true);
    setTextsEnabled(true);
    m_texts[Name]->setFocus();
}

void DirectoryEditor::deleteRow()
{
    if (m_directory.count() == 0)
        return;
    const int deleted = m_position;
    if (m_station.ui.message(UserInterface::Icon::Question, QStringLiteral("Delete Headend"),
                             QStringLiteral("Are you sure ?"),
                             UserInterface::Buttons::OkCancel) != UserInterface::Answer::Ok)
        return;
    if (!m_directory.remove(deleted)) {
        reportError(m_directory.lastError());
        return;
    }
    // The texts belonged to the deleted row; nothing of them is kept.
    setTextsEnabled(false);
    m_count = m_directory.count();
    if (m_count == 0) {
        m_navigator->setEnabled(false);
        showRow(-1);
        m_position = 0;
        updateCaption();
        return;
    }
    showRow(deleted > 0 ? deleted - 1 : 0);
}

void DirectoryEditor::save()
{
    if (!storeTyped())
        return;
    setTextsEnabled(false);
    m_station.session.exchange.waitSeconds(m_station.session.timing.editorSavePause);
    if (!closeWindow(*this))
        return;
    // The selection's load ends the connection and forgets the active headend: the entry it
    // was made from may just have changed.
    HeadendPicker selection(m_station, &m_mainWindow);
}

void DirectoryEditor::closeEvent(QCloseEvent *event)
{
    if (storeTyped())
        event->accept();
    else
        event->ignore();
}

} // namespace keldor
