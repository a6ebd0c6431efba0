#include "ctlcommand.h"

#include "core/features/diagnostics/diagnostics.h"
#include "core/features/diagnostics/diagnosticview.h"
#include "core/features/network/lansettings.h"
#include "core/features/shell/shellstate.h"
#include "core/features/update/backup.h"
#include "core/features/update/updateview.h"
#include "core/features/update/upload.h"
#include "core/model/devicetype.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>

namespace keldor {

namespace {

// The update window's texts as lines on stderr; the percentage only when it changes.
class ConsoleUpdateView : public UpdateView {
public:
    ConsoleUpdateView()
        : m_err(stderr)
    {}

    void setTitle(const QString &text, Tint) override { say(text); }
    void setExplanation(int, const QString &english, const QString &, Tint) override
    {
        say(english);
    }
    void setProgressMaximum(int) override {}
    void setProgressValue(int) override {}
    void setPercentage(const QString &text) override
    {
        if (text == m_percentage)
            return;
        m_percentage = text;
        say(QStringLiteral("sent ") + text.trimmed());
    }
    void setProgressVisible(bool) override {}
    void setActivityTint(Tint) override {}
    void setElapsedTimerRunning(bool) override {}
    void setToolbar(Toolbar state) override { m_toolbar = state; }
    void setBackupFile(const QString &path) override
    {
        say(QStringLiteral("configuration saved to ") + QDir::toNativeSeparators(path));
    }
    bool cancelRequested() const override { return m_cancel; }
    // A signal is the operator's last word; there is nobody to ask.
    bool cancelNeedsConfirmation() const override { return false; }

    void requestCancel()
    {
        // While the headend writes its flash nothing may interrupt it; the upload no longer
        // looks at the request then.
        if (m_toolbar == Toolbar::Storing)
            say(QStringLiteral("The headend is storing the image and must not be interrupted; "
                               "the update goes on."));
        m_cancel = true;
    }

private:
    void say(const QString &text)
    {
        if (!text.isEmpty())
            m_err << text << Qt::endl;
    }

    QTextStream m_err;
    QString m_percentage;
    Toolbar m_toolbar = Toolbar::Idle;
    bool m_cancel = false;
};

// SIGINT and SIGTERM while an update runs. The handler only writes a byte into a pipe, which is
// all it may safely do; every wait of the upload runs the event loop, which reads the pipe and
// asks the upload to stop. The previous handlers come back with the end of the update.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> stop)
    {
        if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        signalPipeWriteEnd = m_pipe[1];
        m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated,
                         [this, stop = std::move(stop)] {
                             char drained[16];
                             while (::read(m_pipe[0], drained, sizeof drained) > 0) {
                             }
                             stop();
                         });
        struct sigaction action = {};
        action.sa_handler = &StopSignals::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &m_previousInt);
        ::sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~StopSignals()
    {
        if (m_pipe[0] < 0)
            return;
        ::sigaction(SIGINT, &m_previousInt, nullptr);
        ::sigaction(SIGTERM, &m_previousTerm, nullptr);
        signalPipeWriteEnd = -1;
        m_notifier.reset();
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    static void handle(int)
    {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(signalPipeWriteEnd, &byte, 1);
        errno = saved;
    }

    static inline volatile std::sig_atomic_t signalPipeWriteEnd = -1;
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
};

// "FILE [--backup-dir DIR | --no-backup]"
struct UploadArguments {
    QString image;
    QString backupFolder; // empty: "backups" in the per-user data location
    bool backup = true;
};

std::variant<UploadArguments, QString> uploadArguments(const QStringList &args)
{
    UploadArguments parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--no-backup")) {
            parsed.backup = false;
        } else if (arg == QLatin1String("--backup-dir")) {
            if (i + 1 >= args.size() || args.at(i + 1).isEmpty())
                return QStringLiteral("--backup-dir needs a folder");
            parsed.backupFolder = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--")) || !parsed.image.isEmpty()) {
            return QStringLiteral("update takes one image file, --backup-dir DIR or --no-backup");
        } else {
            parsed.image = arg;
        }
    }
    if (!parsed.backup && !parsed.backupFolder.isEmpty())
        return QStringLiteral("--backup-dir and --no-backup exclude each other");
    // A file that isn't there fails before any link is opened.
    if (!QFileInfo(parsed.image).isFile())
        return QStringLiteral("%1 is no image file").arg(parsed.image);
    return parsed;
}

QString checkUploadArguments(const QStringList &args)
{
    const auto parsed = uploadArguments(args);
    const auto *problem = std::get_if<QString>(&parsed);
    return problem ? *problem : QString();
}

int upload(Session &session, const QStringList &args, bool fpga)
{
    const auto arguments = std::get<UploadArguments>(uploadArguments(args));
    ConsoleUpdateView view;
    const StopSignals stopSignals([&view] { view.requestCancel(); });
    const QString path = QFileInfo(arguments.image).absoluteFilePath();
    BackupHook backup;
    if (arguments.backup) {
        // Never the folder the command happens to run in: backups gather in one place of the
        // operator's own, unless they name another.
        const QString folder =
            arguments.backupFolder.isEmpty() ? standardBackupFolder() : arguments.backupFolder;
        backup = [&session, folder] {
            return backupConfiguration(session, folder);
        };
    }
    const UploadResult result =
        fpga ? updateFpga(session, view, path, backup) : updateFw(session, view, path, backup);
    return result == UploadResult::Succeeded ? ExitSuccess : ExitFailure;
}

// Collects what the diagnostic window would show.
class DiagnosticReport : public DiagnosticView {
public:
    void setRowVisible(int row, bool visible) override { m_visible.at(size_t(row)) = visible; }
    void setText(Field field, const QString &text, Tint) override { m_texts[field] = text; }
    void setIcon(Column column, int row, State state) override
    {
        m_icons.at(size_t(column)).at(size_t(row)) = state;
    }
    void setTuner(int row, State state, int code, const QString &name) override
    {
        setIcon(Column::Tuner, row, state);
        m_tunerStates.at(size_t(row)) = {code, name};
    }
    void setMixerClipping(State state) override { m_mixer = state; }

    QJsonObject json() const
    {
        const auto number = [this](Field field) -> QJsonValue {
            bool ok = false;
            const int value = text(field).trimmed().toInt(&ok);
            return ok ? QJsonValue(value) : QJsonValue();
        };
        QJsonArray channels;
        for (int row = 0; row < channelCount; ++row) {
            if (!m_visible.at(size_t(row)))
                continue;
            const auto &[code, name] = m_tunerStates.at(size_t(row));
            channels.append(QJsonObject{{"channel", row + 1},
                                        {"tuner", icon(Column::Tuner, row)},
                                        {"tuner_state", code},
                                        {"tuner_state_name", name},
                                        {"clipping", icon(Column::Clipping, row)},
                                        {"asi_188", icon(Column::Asi188, row)},
                                        {"asi_sync", icon(Column::AsiSync, row)}});
        }
        return {{"actual_temperature", number(Field::ActualTemperature)},
                {"maximum_temperature", number(Field::MaximumTemperature)},
                {"operating_hours", number(Field::OperatingHours)},
                {"critical_hours", number(Field::CriticalHours)},
                {"vco", text(Field::VcoLock)},
                {"serdes", text(Field::SerdesLock)},
                {"out_pll", text(Field::OutPllLock)},
                {"dac", text(Field::DacLock)},
                {"dac_sampling_eye", number(Field::EyeValue)},
                {"output_mixer_clipping", stateName(m_mixer)},
                {"channels", channels}};
    }

    void print(QTextStream &out) const
    {
        const std::array<std::pair<const char *, Field>, 9> lines{{
            {"Actual Operating-Temperature:", Field::ActualTemperature},
            {"Maximum Operating-Temperature:", Field::MaximumTemperature},
            {"Total Operating Hours:", Field::OperatingHours},
            {"Critical Operating Hours:", Field::CriticalHours},
            {"VCO:", Field::VcoLock},
            {"SERDES:", Field::SerdesLock},
            {"OUT-PLL:", Field::OutPllLock},
            {"DAC:", Field::DacLock},
            {"DAC Sampling Eye:", Field::EyeValue},
        }};
        for (const auto &[caption, field] : lines)
            out << QString::fromLatin1(caption).leftJustified(32) << text(field).trimmed() << '\n';
        out << QStringLiteral("Clipping Output Mixer:").leftJustified(32) << stateName(m_mixer)
            << "\n\n";
        out << "CHANNEL  Tuner-Lock  Clipping  ASI-188  ASI-Sync  Tuner-State\n";
        for (int row = 0; row < channelCount; ++row) {
            if (!m_visible.at(size_t(row)))
                continue;
            out << QString::number(row + 1).leftJustified(9)
                << icon(Column::Tuner, row).leftJustified(12)
                << icon(Column::Clipping, row).leftJustified(10)
                << icon(Column::Asi188, row).leftJustified(9)
                << icon(Column::AsiSync, row).leftJustified(10)
                << m_tunerStates.at(size_t(row)).second << '\n';
        }
    }

private:
    static QString stateName(State state)
    {
        switch (state) {
        case State::Good:
            return QStringLiteral("good");
        case State::Bad:
            return QStringLiteral("bad");
        case State::Unknown:
            break;
        }
        return QStringLiteral("unknown");
    }
    QString text(Field field) const
    {
        const auto found = m_texts.find(field);
        return found == m_texts.end() ? QString() : found->second;
    }
    QString icon(Column column, int row) const
    {
        return stateName(m_icons.at(size_t(column)).at(size_t(row)));
    }

    std::array<bool, channelCount> m_visible{};
    std::map<Field, QString> m_texts;
    std::array<std::array<State, channelCount>, 4> m_icons{};
    std::array<std::pair<int, QString>, channelCount> m_tunerStates{};
    State m_mixer = State::Unknown;
};

int diag(Session &session, const QStringList &args, QTextStream &out)
{
    UnitData unit;
    DiagnosticReport report;
    if (!readDiagnosticData(session.exchange, unit, report))
        return ExitFailure;
    if (args.contains(QLatin1String("--json")))
        out << QJsonDocument(report.json()).toJson(QJsonDocument::Indented);
    else
        report.print(out);
    return ExitSuccess;
}

std::optional<OctetTexts> dottedAddress(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    OctetTexts octets;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int value = parts.at(i).toInt(&ok);
        if (!ok || value < 0 || value > 255 || parts.at(i).startsWith(QLatin1Char('+')))
            return std::nullopt;
        octets[size_t(i)] = octetText(value);
    }
    return octets;
}

QString plainAddress(const OctetTexts &octets)
{
    QStringList parts;
    for (const QString &octet : octets)
        parts.append(QString::number(octet.toInt()));
    return parts.join(QLatin1Char('.'));
}

// "--ip A.B.C.D --mask A.B.C.D [--gateway A.B.C.D] --port N" as option/value pairs.
std::variant<std::map<QString, QString>, QString> lanOptions(const QStringList &args)
{
    std::map<QString, QString> options;
    for (qsizetype i = 0; i < args.size(); i += 2) {
        const QString &name = args.at(i);
        if (name != QLatin1String("--ip") && name != QLatin1String("--mask") &&
            name != QLatin1String("--gateway") && name != QLatin1String("--port"))
            return QStringLiteral("lan-settings takes --ip, --mask, --gateway and --port");
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(name);
        options[name] = args.at(i + 1);
    }
    if (options.empty())
        return options;
    if (!options.count(QStringLiteral("--ip")) || !options.count(QStringLiteral("--mask")) ||
        !options.count(QStringLiteral("--port")))
        return QStringLiteral("setting the LAN needs --ip, --mask and --port");
    for (const auto &[name, value] : options) {
        if (name == QLatin1String("--port")) {
            bool ok = false;
            const int port = value.toInt(&ok);
            // Port 0 takes no connections: the headend would be out of reach.
            if (!ok || port < 1 || port > 65535 || value.startsWith(QLatin1Char('+')))
                return QStringLiteral("--port must be 1..65535");
        } else if (!dottedAddress(value)) {
            return QStringLiteral("%1 must be A.B.C.D with each part 0..255").arg(name);
        }
    }
    return options;
}

int lanSettings(Session &session, const QStringList &args, QTextStream &out)
{
    const auto options = std::get<std::map<QString, QString>>(lanOptions(args));
    UnitData unit;
    if (!checkDeviceType(session.exchange, unit))
        return ExitFailure;
    const bool withGateway = gatewaySupported(unit.controllerVersion);
    if (options.count(QStringLiteral("--gateway")) && !withGateway) {
        session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                           QStringLiteral("This headend's controller software %1 has no gateway "
                                          "setting; nothing was sent.")
                               .arg(QString::fromLatin1(unit.controllerVersion)));
        return ExitFailure;
    }

    LanReading reading;
    if (!readLanSettings(session.exchange, unit.controllerVersion, reading))
        return ExitFailure;
    if (options.empty()) {
        out << "IP-Adress:   " << plainAddress(*reading.ip) << '\n'
            << "Subnet-Mask: " << plainAddress(*reading.subnet) << '\n';
        if (reading.gateway)
            out << "Gateway:     " << plainAddress(*reading.gateway) << '\n';
        out << "Port:        " << *reading.port << '\n';
        return ExitSuccess;
    }

    LanSettingsInput input;
    input.ip = *dottedAddress(options.at(QStringLiteral("--ip")));
    input.subnet = *dottedAddress(options.at(QStringLiteral("--mask")));
    // A gateway not given keeps the one the headend has.
    const auto gateway = options.find(QStringLiteral("--gateway"));
    input.gateway = gateway != options.end() ? *dottedAddress(gateway->second)
                                             : reading.gateway.value_or(OctetTexts{});
    input.port = options.at(QStringLiteral("--port"));
    ShellState shell;
    if (!saveLanSettings(session.exchange, unit.controllerVersion, input, shell))
        return ExitFailure;
    out << "The headend restarts with its new settings; it answers at " << shell.activeHeadendIp
        << ':' << shell.activeHeadendPort << '\n';
    return ExitSuccess;
}

} // namespace

void addMaintenanceCommands(CtlCommandTable &table)
{
    const QString backupUsage =
        QStringLiteral("\n                             the configuration is saved first, into "
                       "--backup-dir DIR or\n                             \"backups\" in the "
                       "per-user data folder; --no-backup skips it");
    table[QStringLiteral("update-fw")] = {
        1, 3,
        QStringLiteral("update-fw FILE [--backup-dir DIR | --no-backup]\n"
                       "                             upload controller firmware (.UC3)") +
            backupUsage,
        checkUploadArguments, [](Session &s, const QStringList &a, QTextStream &) {
            return upload(s, a, false);
        }};
    table[QStringLiteral("update-fpga")] = {
        1, 3,
        QStringLiteral("update-fpga FILE [--backup-dir DIR | --no-backup]\n"
                       "                             upload and store an FPGA image (.RBF)") +
            backupUsage,
        checkUploadArguments, [](Session &s, const QStringList &a, QTextStream &) {
            return upload(s, a, true);
        }};
    table[QStringLiteral("diag")] = {
        0, 1,
        QStringLiteral("diag [--json]              temperatures, hours, locks and channel states"),
        [](const QStringList &a) {
            return a.isEmpty() || a.first() == QLatin1String("--json")
                       ? QString()
                       : QStringLiteral("diag takes only --json");
        },
        diag};
    table[QStringLiteral("lan-settings")] = {
        0, 8,
        QStringLiteral("lan-settings [--ip A.B.C.D --mask A.B.C.D [--gateway A.B.C.D] --port N]\n"
                       "                             print the headend's LAN settings, or set them "
                       "and restart it"),
        [](const QStringList &a) {
            const auto options = lanOptions(a);
            const auto *problem = std::get_if<QString>(&options);
            return problem ? *problem : QString();
        },
        lanSettings};
}

} // namespace keldor
