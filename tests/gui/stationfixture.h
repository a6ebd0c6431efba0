#pragma once

#include "core/features/directory/directoryfile.h"
#include "core/features/directory/headenddirectory.h"
#include "core/features/shell/programfolder.h"
#include "gui/station/station.h"

#include "datarows.h"
#include "rawdirectory.h"
#include "recordingui.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

// A station with a recording interface, short timings and its own settings file, program folder
// and per-user data folder (where backups go).
struct StationFixture {
    StationFixture()
    {
        keldor::setProgramFolderOverride(folder.path());
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.filePath(QStringLiteral("data"))));
    }
    ~StationFixture() { keldor::setProgramFolderOverride({}); }

    QString stored(const QString &k) const { return settings.value("Settings/" + k).toString(); }

    bool writeDirectory(const QList<keldor::HeadendEntry> &rows)
    {
        keldor::HeadendDirectory directory;
        bool written = keldor::createDirectoryFile(folder.path()) && directory.open(folder.path());
        for (const keldor::HeadendEntry &entry : rows)
            written = written && directory.update(directory.appendEmpty(), entry);
        return written;
    }

    QList<keldor::HeadendEntry> directoryRows() const { return ::directoryRows(folder.path()); }

    QTemporaryDir folder;
    QSettings settings{folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    keldor::SettingsStore store{settings};
    RecordingUi ui;
    keldor::Station station{ui, store, keldor::Timing::fast()};
};

// Runs the action on the next modal dialog once it is on screen, so a test can answer an exec().
struct OnNextModal {
    explicit OnNextModal(std::function<void(QWidget *)> action)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, action = std::move(action)] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                timer.stop();
                action(modal);
            }
        });
        timer.start(5);
    }
    QTimer timer;
};
