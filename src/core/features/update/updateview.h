#pragma once

#include "core/common/tint.h"

#include <QString>

namespace keldor {

// What the firmware update window shows while an image goes to the headend. The uploads write
// to it; the window maps each call onto its controls, keldor-ctl onto stderr.
class UpdateView {
public:
    // Which toolbar buttons can be used: Idle enables add, update, expert and exit and
    // disables cancel; Uploading is the reverse; Storing disables all of them, because the
    // headend must not be interrupted while it writes its flash.
    enum class Toolbar { Idle, Uploading, Storing };

    virtual ~UpdateView() = default;

    virtual void setTitle(const QString &text, Tint tint) = 0;
    // Line 0 or 1 of the English and the German explanation, both in the same colour.
    virtual void setExplanation(int line, const QString &english, const QString &german,
                                Tint tint) = 0;
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressValue(int value) = 0;
    // The percentage label; shown at once, not at the next repaint.
    virtual void setPercentage(const QString &text) = 0;
    // The progress bar and the percentage label together.
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setActivityTint(Tint tint) = 0;
    virtual void setElapsedTimerRunning(bool running) = 0;
    virtual void setToolbar(Toolbar state) = 0;
    // Where the headend's configuration was saved before the upload began.
    virtual void setBackupFile(const QString &path) = 0;

    // Set by the window's Cancel button; read between blocks.
    virtual bool cancelRequested() const = 0;
    // Whether the operator is asked before the upload stops half-way through the image; a
    // request that already is the operator's last word (a signal to keldor-ctl) says no.
    virtual bool cancelNeedsConfirmation() const { return true; }
    // The operator chose to go on after all: the request is forgotten and can be made again.
    virtual void withdrawCancel() {}
};

} // namespace keldor
