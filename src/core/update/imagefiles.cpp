#include "update/imagefiles.h"

#include "shell/shellstate.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <unistd.h>

namespace keldor {

namespace {
constexpr qint32 sixteenChannelVariant = 3;
} // namespace

QString image_mask(quint8 updateTarget, qint32 deviceVariant)
{
    if (updateTarget == updateTargetController)
        return QStringLiteral("KELDOR_FW*.UC3");
    return deviceVariant == sixteenChannelVariant ? QStringLiteral("VANTIS_FPGA*.RBF")
                                                  : QStringLiteral("KELDOR_FPGA*.RBF");
}

bool mask_matches(const QString &mask, const QString &fileName)
{
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask),
                                     QRegularExpression::CaseInsensitiveOption);
    return pattern.match(fileName).hasMatch();
}

QStringList matching_images(const QString &folder, const QString &mask)
{
    QFileInfoList files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files)) {
        if (mask_matches(mask, info.fileName()))
            files.append(info);
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const QDateTime ta = a.lastModified();
        const QDateTime tb = b.lastModified();
        return ta != tb ? ta > tb : a.fileName() < b.fileName();
    });
    QStringList names;
    for (const QFileInfo &info : files)
        names.append(info.fileName());
    return names;
}

QString newest_image(const QString &folder, const QString &mask)
{
    const QStringList names = matching_images(folder, mask);
    return names.isEmpty() ? QString() : QDir(folder).filePath(names.first());
}

bool folder_is_private(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    const uint owner = info.ownerId();
    const bool ownersFolder = owner == ::geteuid() || owner == 0;
    return ownersFolder &&
           !(info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther));
}

} // namespace keldor
