#pragma once

#include <QtGlobal>

namespace keldor {

// The few text colours the status displays use: red 255 and green 49152 as blue-green-red
// values. tintRgb gives them as 0xRRGGBB for a widget.
enum class Tint { Black, Red, Green };

constexpr quint32 tintRgb(Tint tint)
{
    switch (tint) {
    case Tint::Red:
        return 0xFF0000;
    case Tint::Green:
        return 0x00C000;
    case Tint::Black:
        break;
    }
    return 0x000000;
}

} // namespace keldor
