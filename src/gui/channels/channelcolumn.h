#pragma once

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace keldor {

// The controls of one channel column of the overview: the satellite input above the cable
// output. Every control is named after its control array with the channel index appended and
// carries the index as the property "channel".
struct ChannelColumn {
    QGroupBox *frame = nullptr; // FrameConverterI
    QGroupBox *input = nullptr;
    QGroupBox *output = nullptr;

    QLabel *status = nullptr;
    QLineEdit *ber = nullptr;
    QLineEdit *snr = nullptr;
    QComboBox *polarisation = nullptr;
    QLineEdit *inFrequency = nullptr;
    QComboBox *lo = nullptr;
    QLineEdit *inSymbolrate = nullptr;
    QPushButton *search = nullptr;
    QPushButton *serviceList = nullptr;

    QRadioButton *on = nullptr;
    QRadioButton *off = nullptr;
    QComboBox *opmode = nullptr;
    QLineEdit *outFrequency = nullptr;
    QComboBox *bandwidth = nullptr;
    QComboBox *qam = nullptr;
    QLineEdit *outSymbolrate = nullptr;
    QComboBox *spectrum = nullptr;
    QComboBox *attenuation = nullptr;
    QPushButton *set = nullptr;

    // What the output switch enables and disables.
    std::array<QWidget *, 7> outputControls() const;
    // The keyboard order within the column.
    std::array<QWidget *, 14> tabOrder() const;
};

// Builds the column for a channel index, its caption reading "CHANNEL" and the channel number.
ChannelColumn buildChannelColumn(int channel, QWidget *parent);

// Clears and refills every list of the column and empties the boxes that show a text.
void refillLists(const ChannelColumn &column);

// Rebuilds the QAM list with the codes firstCode..5 as item data and selects selectedCode when
// the list holds it, without raising the QAM rule.
void fillQamList(QComboBox &box, int firstCode, int selectedCode);

// The code of the selected QAM entry, -1 when nothing is selected.
int qamCode(const QComboBox &box);

} // namespace keldor
