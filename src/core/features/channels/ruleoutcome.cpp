#include "core/features/channels/ruleoutcome.h"

#include <algorithm>

namespace keldor {

bool RuleOutcome::refused() const
{
    return std::any_of(messages.cbegin(), messages.cend(), [](const RuleMessage &m) {
        return m.buttons == UserInterface::Buttons::Ok;
    });
}

} // namespace keldor
