#pragma once

#include "core/features/update/updateview.h"

#include <QList>
#include <QStringList>

#include <functional>

// Records what the update window would show, one log line per title, explanation and timer
// call, and lets a test act at a given block (onBlock) or ask for a cancel (cancel).
class RecordingUpdateView : public keldor::UpdateView {
public:
    void setTitle(const QString &text, keldor::Tint tint) override
    {
        log.append(QStringLiteral("title %1 %2").arg(text).arg(int(tint)));
    }
    void setExplanation(int line, const QString &english, const QString &german,
                        keldor::Tint tint) override
    {
        log.append(
            QStringLiteral("line%1 %2 | %3 %4").arg(line).arg(english, german).arg(int(tint)));
    }
    void setProgressMaximum(int) override {}
    void setProgressValue(int value) override
    {
        if (value > 0 && onBlock)
            onBlock(value);
    }
    void setPercentage(const QString &text) override { percentages.append(text); }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setActivityTint(keldor::Tint) override {}
    void setElapsedTimerRunning(bool running) override
    {
        timerRunning = running;
        log.append(running ? QStringLiteral("timer on") : QStringLiteral("timer off"));
    }
    void setToolbar(Toolbar state) override { toolbar.append(state); }
    void setBackupFile(const QString &path) override { backupFile = path; }
    bool cancelRequested() const override { return cancel; }
    bool cancelNeedsConfirmation() const override { return confirmCancel; }
    void withdrawCancel() override { cancel = false; }

    QStringList log;
    QStringList percentages;
    bool progressVisible = true;
    bool timerRunning = false;
    QList<Toolbar> toolbar;
    QString backupFile;
    bool cancel = false;
    bool confirmCancel = true;
    std::function<void(int)> onBlock;
};
