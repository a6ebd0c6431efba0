#pragma once

#include <QString>

#include <functional>

namespace keldor {

class Session;
class UpdateView;

// How an upload ended. Only Succeeded means the headend has the new image; after Failed the
// headend may hold part of it and the caller waits for its restart all the same. Cancelled
// and NotStarted leave the headend running what it had: the operator cancelled before the
// headend took a start frame, or the image or the backup was refused. Abandoned: the operator
// stopped once the headend was taking the image; it waits for the rest and takes anything
// sent to it as image data, so the link has been closed and stays closed until the headend
// has been restarted.
enum class UploadResult { Succeeded, Failed, Cancelled, Abandoned, NotStarted };

// Saves the headend's configuration before an upload may change it: the path of the file
// written, or an error text (path empty) when that was not possible.
struct BackupResult {
    QString path;
    QString error;
};
using BackupHook = std::function<BackupResult()>;

constexpr qint64 uploadBlockSize = 1024;
// The headend counts blocks in a signed 16-bit number.
constexpr int maxUploadBlocks = 32767;

// Blocks of 1024 bytes, the last one holding the rest.
qint64 uploadBlockCount(qint64 length);

// The update window's look before and between updates.
void showUpdateIdle(UpdateView &view);

// Sends a controller image (start frame 0x84) over the session's active link. The image is
// checked and the backup taken before anything is sent; a missing, unreadable, empty or
// oversized image, or a refused backup, ends with NotStarted.
UploadResult updateFw(Session &session, UpdateView &view, const QString &imagePath,
                      const BackupHook &backup = {});

// Sends an FPGA image (start frame 0x89), then has the headend store it in its flash (0x8B)
// and waits until it reports the end of storing.
UploadResult updateFpga(Session &session, UpdateView &view, const QString &imagePath,
                        const BackupHook &backup = {});

} // namespace keldor
