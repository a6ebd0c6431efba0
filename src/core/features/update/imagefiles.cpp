#include "core/features/update/imagefiles.h"

#include "core/features/shell/shellstate.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <unistd.h>

namespace keldor {

namespace {
constexpr qint32 sixteenChannelVariant = 3;
} // namespace

QString imageMask(quint8 updateTarget, qint32 deviceVariant)
{
    if (updateTarget == updateTargetController)
        return QStringLiteral("KELDOR_FW*.UC3");
    return deviceVariant == sixteenChannelVariant ? QStringLiteral("VANTIS_FPGA*.RBF")
                                                  : QStringLiteral("KELDOR_FPGA*.RBF");
}

bool maskMatches(const QString &mask, const QString &fileName)
{
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask),
                                     QRegularExpression::CaseInsensitiveOption);
    return pattern.match(fileName).hasMatch();
}

QStringList matchingImages(const QString &folder, const QString &mask)
{
    QFileInfoList files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files)) {
        if (maskMatches(mask, info.fileName()))
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

QString newestImage(const QString &folder, const QString &mask)
{
    const QStringList names = matchingImages(folder, mask);
    return names.isEmpty() ? QString() : QDir(folder).filePath(names.first());
}

bool folderIsPrivate(const QString &folder)
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
