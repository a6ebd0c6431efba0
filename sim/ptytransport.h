#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

namespace sim {

class Headend;
class Link;

// The device's USB serial port, emulated by a pseudo-terminal whose slave side the client opens.
class PtyTransport : public QObject {
    Q_OBJECT

public:
    explicit PtyTransport(Headend &headend, QObject *parent = nullptr);
    ~PtyTransport() override;

    // linkPath, when given, becomes a symbolic link to the slave.
    bool open(const QString &linkPath = {});
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

signals:
    // The device hung up: the old slave is gone and clients must open this one.
    void reopened(const QString &slavePath);

private:
    bool openPair();
    void closePair();
    void newLink();
    void readMaster();
    void writeMaster(const QByteArray &bytes);
    void flushPending();
    void hangUp();
    void reopen();
    bool fail(const QString &what);

    Headend &m_headend;
    int m_master = -1;
    int m_slave = -1;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::unique_ptr<Link> m_link;
    QByteArray m_pending;
    QString m_slavePath;
    QString m_linkPath;
    QString m_error;
};

} // namespace sim
