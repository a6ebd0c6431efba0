#pragma once

#include <QFile>
#include <QProcess>
#include <QString>

#include <unistd.h>

// Makes a file or folder unwritable for this process while the object lives. Permission bits
// don't bind root, who runs the suite in CI, so root gets the immutable attribute instead, which
// binds everyone; everybody else loses the write permission.
class Unwritable {
public:
    explicit Unwritable(const QString &path)
        : m_path(path)
        , m_permissions(QFile::permissions(path))
        , m_immutable(geteuid() == 0)
    {
        if (m_immutable)
            m_ok = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0;
        else
            m_ok = QFile::setPermissions(m_path, m_permissions & ~writeBits);
    }
    Unwritable(const Unwritable &) = delete;
    Unwritable &operator=(const Unwritable &) = delete;
    ~Unwritable()
    {
        if (!m_ok)
            return;
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        else
            QFile::setPermissions(m_path, m_permissions);
    }

    // False when the path could not be protected (chattr needs a file system that has the
    // attribute); the test can't show anything then and must fail.
    bool ok() const { return m_ok; }

private:
    static constexpr QFile::Permissions writeBits{QFile::WriteOwner | QFile::WriteUser |
                                                  QFile::WriteGroup | QFile::WriteOther};

    QString m_path;
    QFile::Permissions m_permissions;
    bool m_immutable = false;
    bool m_ok = false;
};
