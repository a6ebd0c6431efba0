#pragma once

#include <QString>
#include <QStringList>

namespace keldor {

// The file name mask of the images that fit the update target and the connected model:
// "KELDOR_FW*.UC3" for the controller, "VANTIS_FPGA*.RBF" for the FPGA of the 16-channel
// model (device variant 3) and "KELDOR_FPGA*.RBF" for every other FPGA.
QString imageMask(quint8 updateTarget, qint32 deviceVariant);

// Masks match regardless of case: images were named on a system that ignores case, and a
// copy onto this one may well arrive as "keldor_fw_2.1.uc3".
bool maskMatches(const QString &mask, const QString &fileName);

// The names of the files in folder that match mask, newest first by modification time
// (equal times by name, so the order is the same on every call).
QStringList matchingImages(const QString &folder, const QString &mask);

// The full path of the newest match, or an empty text when nothing matches.
QString newestImage(const QString &folder, const QString &mask);

// Whether only the operator (or root) can put files into folder: it belongs to one of them
// and neither its group nor others may write to it. Only then may an image found there be
// chosen without asking; anybody else could have put the newest one there.
bool folderIsPrivate(const QString &folder);

} // namespace keldor
