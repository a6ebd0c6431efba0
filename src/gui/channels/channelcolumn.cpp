#include "gui/channels/channelcolumn.h"

#include "core/common/textutil.h"
#include "core/model/channellists.h"
#include "gui/ui/listindex.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace keldor {

namespace {

// Field widths in characters: room for the longest value each field takes.
constexpr int numberFieldChars = 7;
constexpr int readingFieldChars = 7;
constexpr int listFieldChars = 7;

template<typename W> W *make(const char *name, int channel, QWidget *parent)
{
    auto *widget = new W(parent);
    widget->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(channel));
    widget->setProperty("channel", channel);
    return widget;
}

QLabel *caption(const char *name, const QString &text, int channel, QWidget *parent)
{
    auto *label = make<QLabel>(name, channel, parent);
    label->setText(text);
    return label;
}

QLineEdit *numberField(const char *name, int channel, QWidget *parent)
{
    auto *field = make<QLineEdit>(name, channel, parent);
    field->setAlignment(Qt::AlignRight);
    const int width = field->fontMetrics().horizontalAdvance(QLatin1Char('0')) * numberFieldChars;
    field->setMinimumWidth(width);
    return field;
}

QLineEdit *readingField(const char *name, int channel, QWidget *parent)
{
    QLineEdit *field = numberField(name, channel, parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    // What the tuner measures must not look like something to type into.
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QLatin1Char('0')) *
                           readingFieldChars);
    return field;
}

QComboBox *list(const char *name, int channel, QWidget *parent)
{
    auto *box = make<QComboBox>(name, channel, parent);
    // Room for the longest entry ("QAM-256", "-12dB") even in a narrow window.
    box->setMinimumContentsLength(listFieldChars);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // Lists and text fields line up at the same width.
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return box;
}

// One row of a section: caption, field and unit.
void addRow(QGridLayout *grid, QLabel *label, QWidget *field, QLabel *unit = nullptr)
{
    const int row = grid->rowCount();
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    if (unit)
        grid->addWidget(unit, row, 2);
}

QGridLayout *sectionGrid(QGroupBox *section)
{
    auto *grid = new QGridLayout(section);
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(6);
    // Six columns side by side must fit a common screen; the frames need little margin.
    grid->setContentsMargins(6, 6, 6, 6);
    // Input and output fields start at the same place: both caption columns are as wide as the
    // widest caption, both unit columns as wide as the widest unit.
    const QFontMetrics metrics = section->fontMetrics();
    grid->setColumnMinimumWidth(0, metrics.horizontalAdvance(QStringLiteral("Spectrum:")));
    grid->setColumnMinimumWidth(2, metrics.horizontalAdvance(QStringLiteral("kSym")));
    return grid;
}

void buildInput(ChannelColumn &c, int ch)
{
    QGroupBox *in = c.input;
    QGridLayout *grid = sectionGrid(in);

    c.status = make<QLabel>("Label_Status_In", ch, in);
    c.status->setAlignment(Qt::AlignCenter);
    QFont bold = c.status->font();
    bold.setBold(true);
    c.status->setFont(bold);
    grid->addWidget(c.status, 0, 0, 1, 3);

    c.ber = readingField("Text_BER", ch, in);
    addRow(grid, caption("Label_BER", QStringLiteral("BER:"), ch, in), c.ber);
    c.snr = readingField("Text_SN", ch, in);
    addRow(grid, caption("Label_SN", QStringLiteral("S/N:"), ch, in), c.snr,
           caption("Label_dB", QStringLiteral("dB"), ch, in));

    c.polarisation = list("Combo_Polarisation", ch, in);
    addRow(grid, caption("Label_IN", QStringLiteral("Input:"), ch, in), c.polarisation);
    c.inFrequency = numberField("Text_infrequenz", ch, in);
    addRow(grid, caption("Label_TP", QStringLiteral("TP:"), ch, in), c.inFrequency,
           caption("Label_In_MHz", QStringLiteral("MHz"), ch, in));
    c.lo = list("Combo_LO", ch, in);
    c.lo->setEditable(true);
    // The LO rule decides what joins the list, not the Enter key.
    c.lo->setInsertPolicy(QComboBox::NoInsert);
    c.lo->lineEdit()->setAlignment(Qt::AlignRight);
    addRow(grid, caption("Label_LO", QStringLiteral("LO:"), ch, in), c.lo,
           caption("Label_LO_MHz", QStringLiteral("MHz"), ch, in));
    c.inSymbolrate = numberField("Text_input_symbolrate", ch, in);
    addRow(grid, caption("Label_SR_In", QStringLiteral("SR:"), ch, in), c.inSymbolrate,
           caption("Label_inputsymbolrate_kSym", QStringLiteral("kSym"), ch, in));

    c.search = make<QPushButton>("Command_Search", ch, in);
    c.search->setText(QStringLiteral("Search"));
    c.serviceList = make<QPushButton>("Command_Servicelist", ch, in);
    c.serviceList->setText(QStringLiteral("Services"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(c.search);
    buttons->addWidget(c.serviceList);
    grid->addLayout(buttons, grid->rowCount(), 0, 1, 3);
}

void buildOutput(ChannelColumn &c, int ch)
{
    QGroupBox *out = c.output;
    QGridLayout *grid = sectionGrid(out);

    c.on = make<QRadioButton>("Option_On", ch, out);
    c.on->setText(QStringLiteral("On"));
    c.off = make<QRadioButton>("Option_Off", ch, out);
    c.off->setText(QStringLiteral("Off"));
    auto *group = new QButtonGroup(out);
    group->addButton(c.on);
    group->addButton(c.off);
    auto *switches = new QHBoxLayout;
    switches->addWidget(c.on);
    switches->addWidget(c.off);
    switches->addStretch();
    grid->addLayout(switches, 0, 0, 1, 3);

    c.opmode = list("Combo_Opmode", ch, out);
    addRow(grid, caption("Label_Opmode", QStringLiteral("Mode:"), ch, out), c.opmode);
    c.outFrequency = numberField("Text_outfrequenz", ch, out);
    addRow(grid, caption("Label_Frequenz", QStringLiteral("Freq:"), ch, out), c.outFrequency,
           caption("Label_Out_MHz", QStringLiteral("MHz"), ch, out));
    c.bandwidth = list("Combo_Bandbreite", ch, out);
    addRow(grid, caption("Label_BW", QStringLiteral("BW:"), ch, out), c.bandwidth);
    c.qam = list("Combo_QAM", ch, out);
    addRow(grid, caption("Label_QAM", QStringLiteral("QAM:"), ch, out), c.qam);
    c.outSymbolrate = numberField("Text_output_symbolrate", ch, out);
    addRow(grid, caption("Label_SR_Out", QStringLiteral("SR:"), ch, out), c.outSymbolrate,
           caption("Label_Outputsymbolrate_kSym", QStringLiteral("kSym"), ch, out));
    c.spectrum = list("Combo_Spectrum", ch, out);
    addRow(grid, caption("Label_Spectrum", QStringLiteral("Spectrum:"), ch, out), c.spectrum);
    c.attenuation = list("Combo_Att", ch, out);
    addRow(grid, caption("Label_Att", QStringLiteral("Att:"), ch, out), c.attenuation);

    c.set = make<QPushButton>("Command_Set", ch, out);
    c.set->setText(QStringLiteral("Set"));
    grid->addWidget(c.set, grid->rowCount(), 0, 1, 3);
}

void refill(QComboBox &box, const QStringList &entries)
{
    const QSignalBlocker blocker(box);
    box.clear();
    box.addItems(entries);
    setListIndex(box, -1);
}

} // namespace

std::array<QWidget *, 7> ChannelColumn::outputControls() const
{
    return {opmode, outFrequency, bandwidth, qam, outSymbolrate, spectrum, attenuation};
}

std::array<QWidget *, 14> ChannelColumn::tabOrder() const
{
    return {polarisation, inFrequency, lo,  inSymbolrate,  search,   on,          opmode,
            outFrequency, bandwidth,   qam, outSymbolrate, spectrum, attenuation, set};
}

ChannelColumn buildChannelColumn(int channel, QWidget *parent)
{
    ChannelColumn c;
    c.frame = make<QGroupBox>("FrameConverter", channel, parent);
    c.frame->setTitle(QStringLiteral("CHANNEL") + numberText(channel + 1));
    c.input = make<QGroupBox>("Frame_Input", channel, c.frame);
    c.input->setTitle(QStringLiteral("Input"));
    c.output = make<QGroupBox>("Frame_Output", channel, c.frame);
    c.output->setTitle(QStringLiteral("Output"));
    buildInput(c, channel);
    buildOutput(c, channel);

    auto *layout = new QVBoxLayout(c.frame);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(c.input);
    layout->addWidget(c.output);
    // A column is as wide as its fields need; the pages centre the columns they hold.
    c.frame->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    return c;
}

void refillLists(const ChannelColumn &column)
{
    refill(*column.polarisation, lists::polarisation());
    refill(*column.lo, lists::lo());
    column.lo->setEditText(QString());
    refill(*column.bandwidth, lists::bandwidth());
    fillQamList(*column.qam, 0, -1);
    refill(*column.attenuation, lists::attenuation());
    refill(*column.spectrum, lists::spectrum());
    refill(*column.opmode, lists::opmode());
}

void fillQamList(QComboBox &box, int firstCode, int selectedCode)
{
    const QSignalBlocker blocker(box);
    box.clear();
    const QStringList &entries = lists::qam();
    for (int code = std::max(firstCode, 0); code < entries.size(); ++code)
        box.addItem(entries.at(code), code);
    setListIndex(box, box.findData(selectedCode));
}

int qamCode(const QComboBox &box)
{
    return box.currentIndex() < 0 ? -1 : box.currentData().toInt();
}

} // namespace keldor
