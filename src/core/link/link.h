#pragma once

#include <QByteArray>
#include <QObject>

namespace keldor {

// A link only moves bytes: whatever arrives is handed on unchanged, whatever is written goes
// out unchanged. All interpretation belongs to the exchange.
class Link : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    // False when the bytes did not all go out (the link is closed or refused them).
    virtual bool write(const QByteArray &bytes) = 0;

signals:
    void received(const QByteArray &bytes);
    // Bytes that went out, as written; the traffic trace follows a link through this and
    // received(), so nothing that passes a link can slip past it.
    void sent(const QByteArray &bytes);
    // Opened, closed, connected or failed: anything a waiting exchange may want to look at.
    void stateChanged();
};

} // namespace keldor
