#include "gui/app/progresswindow.h"

#include "core/common/userinterface.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace keldor {

ProgressWindow::ProgressWindow(QWidget *parent)
    : QDialog(parent)
    , m_label(new QLabel(this))
    , m_progressBar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QLatin1String(applicationTitle));
    // The window only reports; closing it would not stop what it reports on.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_label->setObjectName(QStringLiteral("Label1"));
    // The connection names the headend as it stands in the directory.
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setMinimumWidth(m_label->fontMetrics().averageCharWidth() * 60);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_progressBar);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressWindow::setText(const QString &text)
{
    m_label->setText(text);
}

QString ProgressWindow::text() const
{
    return m_label->text();
}

} // namespace keldor
