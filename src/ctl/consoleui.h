#pragma once

#include "common/userinterface.h"

#include <QTextStream>

namespace keldor {

// keldor-ctl's face: messages go to stderr as "Title: text", with the carriage returns of the
// message texts turned into line breaks. Questions are answered with Cancel: a script never
// overwrites anything it wasn't told to.
class ConsoleUi : public UserInterface {
public:
    explicit ConsoleUi(bool verbose = false);

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

private:
    QTextStream m_err;
    bool m_verbose = false;
    int m_progress = 0;
    int m_messages = 0;
};

} // namespace keldor
