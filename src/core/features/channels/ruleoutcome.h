#pragma once

#include "core/common/userinterface.h"

#include <QList>
#include <QString>

#include <optional>

namespace keldor {

// One message box a rule asks for.
struct RuleMessage {
    UserInterface::Icon icon = UserInterface::Icon::Critical;
    QString title = QStringLiteral("Error");
    QString text;
    UserInterface::Buttons buttons = UserInterface::Buttons::Ok;

    bool operator==(const RuleMessage &) const = default;
};

// The QAM list of a column after a rebuild: codes firstCode..5, selectedCode selected without
// raising the QAM rule.
struct QamList {
    int firstCode = 0;
    int selectedCode = 0;

    bool operator==(const QamList &) const = default;
};

// What a field rule decided. The window applies it in this order: show the messages, rewrite
// the texts, rebuild the QAM list, enable Set, then move the focus.
struct RuleOutcome {
    enum class Focus {
        Leave, // the focus goes where the user sent it
        Back,  // back into the field the rule ran on (for the LO combo: the move is cancelled)
        OutSymbolrate, // into the column's output symbol rate field
    };

    QList<RuleMessage> messages;
    Focus focus = Focus::Leave;
    std::optional<QString> fieldText;         // new text of the field the rule ran on
    std::optional<QString> outSymbolrateText; // new text of the output symbol rate field
    std::optional<QString> appendLoEntry;     // new entry at the end of the column's LO list
    std::optional<QamList> qamList;
    bool enableSet = false;

    // True when the rule had nothing to object to; warnings count as objections.
    bool accepted() const { return messages.isEmpty(); }
    // True when a message is an error rather than a collision warning.
    bool refused() const;
};

} // namespace keldor
