#pragma once

#include "core/common/userinterface.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringList>
#include <QTextStream>

namespace keldor {

// Texts from the headend or the directory end up on the operator's terminal, where a control
// character could move the cursor, rewrite the window title or worse. Every control character
// but the line break is written as its JSON escape (ESC as \u001b): readable on a terminal,
// and inside --json output the very escape JSON has for it.
QString terminalText(const QString &text);

// Passes what a QTextStream writes into it on to out, through terminalText. Every command
// writes its results through one of these, so no command can forget it.
class TerminalFilter : public QIODevice {
public:
    explicit TerminalFilter(QTextStream &out);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    QTextStream &m_out;
    // A character split between two writes comes out whole.
    QStringDecoder m_decoder{QStringDecoder::Utf8};
};

// Passes what is written into it on to err and keeps the last line written, which a failure
// with --json repeats as its error.
class LastLineKeeper : public QIODevice {
public:
    explicit LastLineKeeper(QTextStream &err);
    QString lastLine() const;
    QIODevice *passesTo() const;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    QTextStream &m_err;
    QByteArray m_lines; // the last complete line and what follows it
};

// keldor-ctl's face: messages go to stderr as "Title: text", with the carriage returns of the
// message texts turned into line breaks. Questions are answered with Cancel: a script never
// overwrites anything it wasn't told to.
class ConsoleUi : public UserInterface {
public:
    // Messages go to err (stderr in keldor-ctl, a string in tests).
    ConsoleUi(QTextStream &err, bool verbose = false);

    Answer message(Icon icon, const QString &title, const QString &text, Buttons buttons) override;
    void setBusy(bool) override {}
    void setMainWindowEnabled(bool) override {}
    void setKeepAliveRunning(bool) override {}
    void setConnectionModeLocked(bool) override {}
    void setStatusPanel(int, const QString &) override {}
    void showProgress(const QString &label, int maximum) override;
    void setProgressLabel(const QString &label) override;
    void setProgressValue(int value) override;
    int progressValue() const override { return m_progress; }
    void closeProgress() override {}

    int messageCount() const { return m_messages; }
    // The last message as one line, "Title: text"; empty when there was none.
    QString lastMessage() const { return m_lastMessage; }
    // Every message so far, line by line as printed.
    const QStringList &said() const { return m_said; }

private:
    QTextStream &m_err;
    bool m_verbose = false;
    int m_progress = 0;
    int m_messages = 0;
    QString m_lastMessage;
    QStringList m_said;
};

// The last message a keldor-ctl interface showed, for a command that must repeat it on stdout;
// empty for any other interface.
QString lastConsoleMessage(const UserInterface &ui);

} // namespace keldor
