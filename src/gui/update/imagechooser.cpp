#include "gui/update/imagechooser.h"

#include "core/features/shell/programfolder.h"
#include "gui/station/station.h"
#include "gui/ui/programicons.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace keldor {

ImageChooser::ImageChooser(Station &station, QWidget *parent)
    : QDialog(parent)
    , m_station(station)
    , m_list(new QListWidget(this))
    , m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("Form_Filelist"));
    setWindowTitle(QStringLiteral("Fileselection"));
    setWindowIcon(programIcon(QStringLiteral("sat.ico")));
    m_list->setObjectName(QStringLiteral("List1"));
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_list);
    // Enter chooses too, so the list works without a mouse.
    connect(m_list, &QListWidget::itemActivated, this, &ImageChooser::chosen);
    // The caller shows the hourglass while it searches; a choice needs the normal pointer,
    // and the caller's pointer comes back when the window goes.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
}

ImageChooser::~ImageChooser()
{
    QApplication::restoreOverrideCursor();
}

void ImageChooser::chosen(QListWidgetItem *item)
{
    m_station.unit.settingsFileName = programFile(item->text());
    accept();
}

} // namespace keldor
