#pragma once

#include "core/common/tint.h"

#include <QString>

namespace keldor {

// What the diagnostic window shows. readDiagnosticData fills it; the window maps each call
// onto its labels and icon boxes, keldor-ctl onto a report.
class DiagnosticView {
public:
    enum class Field {
        ActualTemperature,  // Label_FPGA_ActTemp
        MaximumTemperature, // Label_FPGA_Temp
        OperatingHours,     // Label_OP
        CriticalHours,      // Label_OP_Critical
        VcoLock,            // Label_VCO_LOCK
        SerdesLock,         // Label_SERDES_Lock
        OutPllLock,         // Label_OUTPLL_Lock
        DacLock,            // Label_DAC_Lock
        EyeValue,           // Label_Eye_Value
        ResetCount,         // Label_Reset_Count
    };
    // The per-channel icon columns, rows 0..15.
    enum class Column {
        Tuner,    // Picture_Tuner
        Clipping, // Picture_Clipping
        Asi188,   // Picture_188
        AsiSync,  // Picture_RAW
    };
    // "check.ico", "cross.ico", or neither: the headend didn't say, or said something that is
    // neither good nor bad.
    enum class State { Good, Bad, Unknown };

    virtual ~DiagnosticView() = default;

    // Label_CH and the four icons of one channel row.
    virtual void setRowVisible(int row, bool visible) = 0;
    virtual void setText(Field field, const QString &text, Tint tint) = 0;
    virtual void setIcon(Column column, int row, State state) = 0;
    // Picture_Tuner of one channel, with the state code the headend reported and its name.
    virtual void setTuner(int row, State state, int code, const QString &name) = 0;
    // Picture_Clipping_Outmix
    virtual void setMixerClipping(State state) = 0;
};

} // namespace keldor
