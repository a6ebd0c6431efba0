#include "consoleui.h"

#include <cstdio>

namespace keldor {

namespace {
QString lines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

ConsoleUi::ConsoleUi(bool verbose)
    : m_err(stderr)
    , m_verbose(verbose)
{}

UserInterface::Answer ConsoleUi::message(Icon, const QString &title, const QString &text,
                                         Buttons buttons)
{
    ++m_messages;
    const QString heading = title.trimmed().isEmpty() ? QStringLiteral("Message") : title.trimmed();
    m_err << heading << ": " << lines(text) << Qt::endl;
    return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
}

void ConsoleUi::showProgress(const QString &label, int)
{
    m_progress = 0;
    setProgressLabel(label);
}

void ConsoleUi::setProgressLabel(const QString &label)
{
    if (m_verbose)
        m_err << label << Qt::endl;
}

void ConsoleUi::setProgressValue(int value)
{
    m_progress = value;
}

} // namespace keldor
