#pragma once

#include "core/common/userinterface.h"

#include <QList>
#include <QString>
#include <QStringList>

// Keeps everything the operations show, so tests can assert the exact texts without any
// message box blocking them.
class RecordingUi : public keldor::UserInterface {
public:
    struct Message {
        Icon icon;
        QString title;
        QString text;
        Buttons buttons;
    };

    Answer message(Icon icon, const QString &title, const QString &text, Buttons buttons) override
    {
        messages.append({icon, title, text, buttons});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return Answer::Ok;
    }
    void setBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void setMainWindowEnabled(bool enabled) override { mainWindowEnabled = enabled; }
    void setKeepAliveRunning(bool running) override { keepAliveRunning = running; }
    void setConnectionModeLocked(bool locked) override { connectionModeLocked = locked; }
    void setStatusPanel(int panel, const QString &text) override
    {
        panels[qBound(0, panel - 1, 2)] = text;
    }
    void showProgress(const QString &label, int maximum) override
    {
        progressShown = true;
        progressLabels.append(label);
        progressMaximum = maximum;
        progress = 0;
    }
    void setProgressLabel(const QString &label) override { progressLabels.append(label); }
    void setProgressValue(int value) override
    {
        progress = value;
        progressValues.append(value);
    }
    int progressValue() const override { return progress; }
    void closeProgress() override { progressShown = false; }

    QStringList texts() const
    {
        QStringList out;
        for (const Message &m : messages)
            out.append(m.text);
        return out;
    }
    void clear() { messages.clear(); }

    QList<Message> messages;
    QList<Answer> answers; // replies to the next message boxes, OK when empty
    int busyDepth = 0;
    bool mainWindowEnabled = true;
    bool keepAliveRunning = false;
    bool connectionModeLocked = false;
    QString panels[3];
    bool progressShown = false;
    QStringList progressLabels;
    QList<int> progressValues;
    int progressMaximum = 0;
    int progress = 0;
};
