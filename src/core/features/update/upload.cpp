#include "core/features/update/upload.h"

#include "core/common/textutil.h"
#include "core/features/update/updateview.h"
#include "core/protocol/parameters.h"
#include "core/protocol/session.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <optional>

namespace keldor {

namespace {

const QString updateErrorTitle = QStringLiteral("Update Error");
const QString cancelledTitle = QStringLiteral("Update Cancelled");
const QString flashErrorTitle = QStringLiteral("Flash Error");

QByteArray startFrame(quint8 code, quint32 length)
{
    QByteArray frame(requestFrameLength, '\0');
    frame[1] = static_cast<char>(code);
    qToBigEndian(length, frame.data() + 2);
    return frame;
}

QByteArray storeFrame()
{
    QByteArray frame(requestFrameLength, '\0');
    frame[1] = static_cast<char>(param::fpgaStore);
    return frame;
}

// The image file, checked before anything goes to the headend and read again from its first
// byte by every attempt.
class Image {
public:
    // Empty when the image can be sent, else why not.
    QString open(const QString &path)
    {
        const QString nothingSent = QStringLiteral("\rNothing was sent to the headend.");
        if (path.isEmpty())
            return QStringLiteral("No image file was chosen.") + nothingSent;
        const QFileInfo info(path);
        if (!info.exists() || !info.isFile())
            return QStringLiteral("The image file %1 does not exist.").arg(path) + nothingSent;
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly))
            return QStringLiteral("The image file %1 cannot be read: %2.")
                       .arg(path, m_file.errorString()) +
                   nothingSent;
        m_length = m_file.size();
        m_blocks = uploadBlockCount(m_length);
        if (m_length == 0)
            return QStringLiteral("The image file %1 is empty.").arg(path) + nothingSent;
        if (m_blocks > maxUploadBlocks)
            return QStringLiteral("The image file %1 holds %2 blocks of 1024 bytes; the headend "
                                  "takes at most %3.")
                       .arg(path)
                       .arg(m_blocks)
                       .arg(maxUploadBlocks) +
                   nothingSent;
        return {};
    }

    quint32 length() const { return static_cast<quint32>(m_length); }
    int blocks() const { return static_cast<int>(m_blocks); }
    QString path() const { return m_file.fileName(); }

    bool rewind() { return m_file.seek(0); }

    // Block k (1-based) as it stands in the file; nothing when the file gives less.
    std::optional<QByteArray> block(int k)
    {
        const qint64 size = k < m_blocks ? uploadBlockSize : m_length - (k - 1) * uploadBlockSize;
        QByteArray bytes = m_file.read(size);
        if (bytes.size() != size)
            return std::nullopt;
        return bytes;
    }

    void close() { m_file.close(); }

private:
    QFile m_file;
    qint64 m_length = 0;
    qint64 m_blocks = 0;
};

enum class TransferEnd { Sent, NotAccepted, Cancelled, Abandoned, FileError };

struct Upload {
    Session &session;
    UpdateView &view;
    Image image;
    // Set by the headend's "OK" to a start frame: from then on it waits for every byte the
    // frame announced, and blocks carry no framing that would let it tell anything else apart.
    bool headendTakesImage = false;

    Exchange &exchange() const { return session.exchange; }
    UserInterface &ui() const { return session.ui; }

    void closeLink()
    {
        if (exchange().serialSelected())
            session.serial.close();
        else
            session.lan.close();
    }

    // What a pending cancel request means now: nothing while none is pending, a clean stop
    // before the headend has taken a start frame, and afterwards, once the operator confirms,
    // a link closed at once so that nothing else can reach the headend as image data.
    std::optional<TransferEnd> cancellation()
    {
        if (!view.cancelRequested())
            return std::nullopt;
        if (!headendTakesImage)
            return TransferEnd::Cancelled;
        if (view.cancelNeedsConfirmation() &&
            ui().message(UserInterface::Icon::Question, QStringLiteral("Cancel Update"),
                         QStringLiteral("The headend is already taking the image and waits for "
                                        "all of it; whatever it receives next is stored as "
                                        "image data.\rStop anyway? The connection is closed at "
                                        "once, and the headend must be restarted before it is "
                                        "used again."),
                         UserInterface::Buttons::OkCancel) != UserInterface::Answer::Ok) {
            view.withdrawCancel();
            return std::nullopt;
        }
        closeLink();
        return TransferEnd::Abandoned;
    }

    void showBlock(int k)
    {
        const int blocks = image.blocks();
        view.setProgressValue(k);
        view.setPercentage(numberText(qint64{k} * 100 / blocks) + QLatin1Char('%'));
        ui().setStatusPanel(2, QStringLiteral("Sending Block ") + numberText(k) +
                                   QStringLiteral("  of ") + numberText(blocks));
    }

    TransferEnd attempt(quint8 startCode, bool pauseBeforeStart)
    {
        if (!image.rewind())
            return TransferEnd::FileError;
        exchange().discard();
        if (pauseBeforeStart)
            exchange().waitSeconds(session.timing.sendPause);
        exchange().send(startFrame(startCode, image.length()), Expectation::ack());
        for (int k = 1; k <= image.blocks(); ++k) {
            if (!exchange().waitForAck(RxUnit::Kind::Accepted, session.timing.blockAckLimit))
                return TransferEnd::NotAccepted;
            headendTakesImage = true;
            if (const std::optional<TransferEnd> stop = cancellation())
                return *stop;
            exchange().waitSeconds(session.timing.sendPause);
            const std::optional<QByteArray> block = image.block(k);
            if (!block)
                return TransferEnd::FileError;
            exchange().discard();
            exchange().send(*block, Expectation::ack());
            showBlock(k);
        }
        if (exchange().waitForEnd())
            return TransferEnd::Sent;
        connectionAborted(exchange());
        return TransferEnd::NotAccepted;
    }

    // Attempts go on while the window since the first start frame is open; the test comes
    // after each failed attempt, so the last one may run past it.
    TransferEnd transfer(quint8 startCode, bool pauseBeforeStart)
    {
        const QDeadlineTimer window(session.timing.uploadWindow, Qt::PreciseTimer);
        for (;;) {
            if (const std::optional<TransferEnd> stop = cancellation())
                return *stop;
            const TransferEnd end = attempt(startCode, pauseBeforeStart);
            if (end != TransferEnd::NotAccepted)
                return end;
            // Sending into a link that is gone, or into a flood that ends every wait at once,
            // would only repeat the same failure.
            if (window.hasExpired() || !exchange().activeLink().isOpen() || exchange().overflowed())
                return TransferEnd::NotAccepted;
        }
    }

    void showRunning(const QString &english, const QString &german)
    {
        view.setToolbar(UpdateView::Toolbar::Uploading);
        view.setActivityTint(Tint::Red);
        view.setTitle(QStringLiteral("Running"), Tint::Red);
        view.setExplanation(0, english, german, Tint::Black);
        view.setProgressMaximum(image.blocks());
        view.setProgressValue(0);
        view.setPercentage(QStringLiteral("0%"));
        view.setElapsedTimerRunning(true);
    }

    UploadResult endOfTransfer(TransferEnd end)
    {
        view.setElapsedTimerRunning(false);
        image.close();
        switch (end) {
        case TransferEnd::Cancelled:
            ui().setStatusPanel(2, QString());
            showUpdateIdle(view);
            ui().message(UserInterface::Icon::Exclamation, cancelledTitle,
                         QStringLiteral("The update was cancelled before the whole image was "
                                        "sent.\rPlease run the update again."));
            ui().setKeepAliveRunning(true);
            return UploadResult::Cancelled;
        case TransferEnd::Abandoned:
            // Neither keep-alive nor closing frame: the link is gone and stays gone.
            ui().setStatusPanel(2, QString());
            ui().message(UserInterface::Icon::Exclamation, cancelledTitle,
                         QStringLiteral("The update was stopped and the connection to the "
                                        "headend closed.\rThe headend is still waiting for the "
                                        "rest of the image and must be restarted (switched off "
                                        "and on again) before it is used again."));
            return UploadResult::Abandoned;
        case TransferEnd::FileError:
            ui().message(UserInterface::Icon::Exclamation, updateErrorTitle,
                         QStringLiteral("The image file %1 could not be read to its end; the "
                                        "headend did not receive the whole image.\rPlease try "
                                        "again.")
                             .arg(image.path()));
            return UploadResult::Failed;
        case TransferEnd::NotAccepted:
        case TransferEnd::Sent:
            break;
        }
        ui().message(UserInterface::Icon::Exclamation, updateErrorTitle,
                     QStringLiteral("An error occured while sending, data may be lost\rPlease "
                                    "try again."));
        return UploadResult::Failed;
    }

    void closeSerialPort()
    {
        // The headend restarts with its new software; reconnecting is the caller's business.
        if (session.serial.isOpen())
            session.serial.close();
    }
};

// The image is checked before the backup so that a wrong file costs no trip to the headend.
bool prepare(Upload &upload, const QString &imagePath, const BackupHook &backup)
{
    UserInterface &ui = upload.ui();
    if (const QString problem = upload.image.open(imagePath); !problem.isEmpty()) {
        ui.message(UserInterface::Icon::Exclamation, updateErrorTitle, problem);
        return false;
    }
    if (!backup)
        return true;
    const BackupResult saved = backup();
    if (saved.error.isEmpty()) {
        upload.view.setBackupFile(saved.path);
        return true;
    }
    return ui.message(UserInterface::Icon::Question, QStringLiteral("Update"),
                      QStringLiteral("The headend's configuration could not be saved before the "
                                     "update:\r%1\rUpdate anyway?")
                          .arg(saved.error),
                      UserInterface::Buttons::OkCancel) == UserInterface::Answer::Ok;
}

} // namespace

qint64 uploadBlockCount(qint64 length)
{
    return (length + uploadBlockSize - 1) / uploadBlockSize;
}

void showUpdateIdle(UpdateView &view)
{
    view.setTitle(QStringLiteral("Ready"), Tint::Black);
    view.setExplanation(0, QStringLiteral("To start update procedure press Update button"),
                        QStringLiteral("Um den Update-Vorgang zu starten, Update Button drücken"),
                        Tint::Black);
    view.setProgressValue(0);
    view.setPercentage(QStringLiteral("0%"));
    view.setToolbar(UpdateView::Toolbar::Idle);
}

UploadResult updateFw(Session &session, UpdateView &view, const QString &imagePath,
                      const BackupHook &backup)
{
    Upload upload{session, view, {}};
    if (!prepare(upload, imagePath, backup))
        return UploadResult::NotStarted;
    UserInterface &ui = session.ui;
    BusyCursor busy(ui);
    ui.setKeepAliveRunning(false);
    upload.showRunning(QStringLiteral("Sending µC firmware to headend, please wait"),
                       QStringLiteral("µC Firmware wird an Headend übertragen, bitte warten"));

    const TransferEnd end = upload.transfer(param::controllerUpload, false);
    if (end != TransferEnd::Sent)
        return upload.endOfTransfer(end);

    upload.closeSerialPort();
    ui.setStatusPanel(2, QString());
    view.setActivityTint(Tint::Green);
    view.setTitle(QStringLiteral("Update Successful / Update erfolgreich"), Tint::Green);
    view.setExplanation(0, QString(), QString(), Tint::Black);
    view.setElapsedTimerRunning(false);
    session.exchange.waitSeconds(session.timing.successPause);
    showUpdateIdle(view);
    ui.setKeepAliveRunning(true);
    upload.image.close();
    return UploadResult::Succeeded;
}

UploadResult updateFpga(Session &session, UpdateView &view, const QString &imagePath,
                        const BackupHook &backup)
{
    Upload upload{session, view, {}};
    if (!prepare(upload, imagePath, backup))
        return UploadResult::NotStarted;
    UserInterface &ui = session.ui;
    Exchange &exchange = session.exchange;
    BusyCursor busy(ui);
    ui.setKeepAliveRunning(false);
    upload.showRunning(QStringLiteral("Sending FPGA firmware to headend, please wait"),
                       QStringLiteral("FPGA Firmware wird an Headend übertragen, bitte warten"));

    const TransferEnd end = upload.transfer(param::fpgaUpload, true);
    if (end != TransferEnd::Sent)
        return upload.endOfTransfer(end);

    ui.setStatusPanel(2, QString());
    view.setActivityTint(Tint::Green);
    view.setTitle(QStringLiteral("Firmware Upload Successful / Firmware erfolgreich übertragen"),
                  Tint::Green);
    view.setExplanation(0, QString(), QString(), Tint::Black);
    view.setElapsedTimerRunning(false);
    exchange.waitSeconds(session.timing.successPause);
    upload.image.close();

    // From here on the headend writes its flash: the operator can no longer cancel.
    view.setToolbar(UpdateView::Toolbar::Storing);
    view.setActivityTint(Tint::Red);
    view.setTitle(QStringLiteral("Running"), Tint::Red);
    view.setExplanation(
        0, QStringLiteral("Storing FPGA firmware, this can take up to 10 minutes!"),
        QStringLiteral("FPGA Firmware wird gespeichert, dieser Vorgang kann bis zu 10 Minuten "
                       "dauern!"),
        Tint::Black);
    view.setExplanation(
        1, QStringLiteral("ATTENTION! Please do not interrupt while the red LED is blinking!!!"),
        QStringLiteral("ACHTUNG! Bitte nicht unterbrechen solange die rote LED blinkt!!!"),
        Tint::Red);
    view.setProgressVisible(false);
    ui.setStatusPanel(2, QString());
    exchange.waitSeconds(session.timing.successPause);

    const QDeadlineTimer storeWindow(session.timing.storeWindow, Qt::PreciseTimer);
    bool accepted = false;
    for (;;) {
        exchange.discard();
        exchange.send(storeFrame(), Expectation::ack());
        accepted = exchange.waitForAck(RxUnit::Kind::Accepted, session.timing.blockAckLimit);
        if (accepted || storeWindow.hasExpired() || !exchange.activeLink().isOpen() ||
            exchange.overflowed())
            break;
    }
    if (!accepted) {
        view.setElapsedTimerRunning(false);
        ui.message(UserInterface::Icon::Exclamation, flashErrorTitle,
                   QStringLiteral("An error occured while flashing, data may be lost\rPlease try "
                                  "again."));
        return UploadResult::Failed;
    }

    // The headend needs up to ten minutes; a bound well above that tells a dead headend from
    // a slow one instead of leaving the operator waiting for ever.
    view.setElapsedTimerRunning(true);
    if (!exchange.waitForAck(RxUnit::Kind::Ended, session.timing.storeEndLimit)) {
        view.setElapsedTimerRunning(false);
        const QString why =
            exchange.activeLink().isOpen()
                ? QStringLiteral("The headend did not report the end of storing within %1 "
                                 "minutes.")
                      .arg(std::chrono::duration_cast<std::chrono::minutes>(
                               session.timing.storeEndLimit)
                               .count())
                : QStringLiteral("The connection to the headend was lost while it stored the "
                                 "image.");
        ui.message(UserInterface::Icon::Exclamation, flashErrorTitle,
                   why + QStringLiteral("\rThe FPGA image may not have been stored; check the "
                                        "headend and run the update again."));
        return UploadResult::Failed;
    }

    ui.setStatusPanel(2, QString());
    view.setActivityTint(Tint::Green);
    view.setTitle(QStringLiteral("Update Successful / Update erfolgreich"), Tint::Green);
    for (int line : {0, 1})
        view.setExplanation(line, QString(), QString(), Tint::Black);
    view.setElapsedTimerRunning(false);
    exchange.waitSeconds(session.timing.successPause);
    upload.closeSerialPort();
    ui.setKeepAliveRunning(true);
    return UploadResult::Succeeded;
}

} // namespace keldor
