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

QString terminalText(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n'))
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

TerminalFilter::TerminalFilter(QTextStream &out)
    : m_out(out)
{
    open(QIODevice::WriteOnly);
}

qint64 TerminalFilter::writeData(const char *data, qint64 size)
{
    m_out << terminalText(m_decoder.decode(QByteArrayView(data, size)));
    m_out.flush();
    return size;
}

LastLineKeeper::LastLineKeeper(QTextStream &err)
    : m_err(err)
{
    open(QIODevice::WriteOnly);
}

qint64 LastLineKeeper::writeData(const char *data, qint64 size)
{
    m_err << QString::fromUtf8(data, size);
    m_err.flush();
    m_lines.append(data, size);
    // Keeps the last complete line and anything after it.
    const qsizetype end = m_lines.lastIndexOf('\n', m_lines.size() - 2);
    if (end >= 0)
        m_lines.remove(0, end + 1);
    return size;
}

QString LastLineKeeper::lastLine() const
{
    return QString::fromUtf8(m_lines).trimmed();
}

QIODevice *LastLineKeeper::passesTo() const
{
    return m_err.device();
}

ConsoleUi::ConsoleUi(QTextStream &err, bool verbose)
    : m_err(err)
    , m_verbose(verbose)
{}

UserInterface::Answer ConsoleUi::message(Icon, const QString &title, const QString &text,
                                         Buttons buttons)
{
    ++m_messages;
    const QString heading = title.trimmed().isEmpty() ? QStringLiteral("Message") : title.trimmed();
    const QString shown = terminalText(heading) + QStringLiteral(": ") + terminalText(lines(text));
    m_err << shown << Qt::endl;
    m_said.append(shown.split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    m_lastMessage = heading + QStringLiteral(": ") + lines(text).simplified();
    return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
}

QString lastConsoleMessage(const UserInterface &ui)
{
    const auto *console = dynamic_cast<const ConsoleUi *>(&ui);
    return console ? console->lastMessage() : QString();
}

void ConsoleUi::showProgress(const QString &label, int)
{
    m_progress = 0;
    setProgressLabel(label);
}

void ConsoleUi::setProgressLabel(const QString &label)
{
    if (m_verbose)
        m_err << terminalText(label) << Qt::endl;
}

void ConsoleUi::setProgressValue(int value)
{
    m_progress = value;
}

} // namespace keldor
