#include "stateio.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <concepts>
#include <limits>

namespace sim {

namespace {

// The field lists below drive both directions, so a key can't be saved under one name and loaded
// under another.
template<class V, class T> void visitTuner(V &v, T &tuner)
{
    v("status", tuner.status);
    v("no_signal", tuner.noSignal);
    v("data_rate", tuner.dataRate);
    v("bit_errors", tuner.bitErrors);
    v("snr_tenths", tuner.snrTenths);
}

template<class V, class T> void visitChannel(V &v, T &channel)
{
    v("polarisation", channel.polarisation);
    v("in_frequency", channel.inFrequency);
    v("lo_frequency", channel.loFrequency);
    v("in_symbolrate", channel.inSymbolrate);
    v("out_frequency", channel.outFrequency);
    v("bandwidth", channel.bandwidth);
    v("qam", channel.qam);
    v("out_symbolrate", channel.outSymbolrate);
    v("spectrum", channel.spectrum);
    v("attenuation", channel.attenuation);
    v("opmode", channel.opmode);
    v("output_on", channel.outputOn);
    v("lo_mode", channel.loMode);
    v("service_mode", channel.serviceMode);
    v("service_ids", channel.serviceIds);
    v.object("tuner", channel.tuner, [](V &inner, auto &tuner) { visitTuner(inner, tuner); });
    v("input_services", channel.inputServices);
}

template<class V, class T> void visitState(V &v, T &state)
{
    v.object("identity", state.identity, [](V &inner, auto &identity) {
        inner("device_type", identity.deviceType);
        inner("serial_number", identity.serialNumber);
        inner("hardware_version", identity.hardwareVersion);
        inner("controller_version", identity.controllerVersion);
        inner("fpga_version", identity.fpgaVersion);
        inner("polarisation_supported", identity.polarisationSupported);
        inner("variant", identity.variant);
    });
    v.object("diagnostics", state.diagnostics, [](V &inner, auto &diagnostics) {
        inner("max_temperature_raw", diagnostics.maxTemperatureRaw);
        inner("actual_temperature_raw", diagnostics.actualTemperatureRaw);
        inner("hours_total", diagnostics.hoursTotal);
        inner("hours_critical", diagnostics.hoursCritical);
        inner("status", diagnostics.status);
        inner("reset_count", diagnostics.resetCount);
        inner("fan", diagnostics.fan);
    });
    v.object("lan", state.lan, [](V &inner, auto &lan) {
        inner("ip", lan.ip);
        inner("mask", lan.mask);
        inner("gateway", lan.gateway);
        inner("mac", lan.mac);
        inner("port", lan.port);
    });
    v.list("channels", state.channels,
           [](V &inner, auto &channel) { visitChannel(inner, channel); });
}

// Addresses travel as "a.b.c.d", the MAC as "aa:bb:cc:dd:ee:ff".
template<std::size_t N> constexpr QChar separatorFor()
{
    return N == 4 ? u'.' : u':';
}

class Saver {
public:
    QJsonObject json;

    template<std::integral T> void operator()(const char *key, const T &value)
    {
        json[key] = qint64(value);
    }
    void operator()(const char *key, float value) { json[key] = double(value); }
    void operator()(const char *key, const QString &value) { json[key] = value; }
    void operator()(const char *key, const QByteArray &value)
    {
        json[key] = QString::fromLatin1(value.toHex());
    }
    template<std::size_t N> void operator()(const char *key, const std::array<quint8, N> &value)
    {
        QStringList parts;
        for (quint8 octet : value)
            parts.append(N == 4 ? QString::number(octet)
                                : QStringLiteral("%1").arg(octet, 2, 16, QLatin1Char('0')));
        json[key] = parts.join(separatorFor<N>());
    }
    void operator()(const char *key, const QList<quint16> &ids)
    {
        QJsonArray array;
        for (quint16 id : ids)
            array.append(id);
        json[key] = array;
    }
    void operator()(const char *key, const QList<InputService> &services)
    {
        QJsonArray array;
        for (const InputService &service : services)
            array.append(QJsonObject{{"name", service.name}, {"id", service.id}});
        json[key] = array;
    }
    template<class T, class F> void object(const char *key, const T &value, F visit)
    {
        Saver inner;
        visit(inner, value);
        json[key] = inner.json;
    }
    template<class T, std::size_t N, class F>
    void list(const char *key, const std::array<T, N> &values, F visit)
    {
        QJsonArray array;
        for (const T &value : values) {
            Saver inner;
            visit(inner, value);
            array.append(inner.json);
        }
        json[key] = array;
    }
};

class Loader {
public:
    Loader(const QJsonObject &json, const QString &path)
        : m_json(json)
        , m_path(path)
    {}

    QString error;

    template<std::integral T> void operator()(const char *key, T &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || number != std::floor(number) ||
            number < double(std::numeric_limits<T>::min()) ||
            number > double(std::numeric_limits<T>::max())) {
            return fail(key, QStringLiteral("an integer from %1 to %2")
                                 .arg(qint64(std::numeric_limits<T>::min()))
                                 .arg(qint64(std::numeric_limits<T>::max())));
        }
        field = T(number);
    }
    void operator()(const char *key, float &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        if (!value.isDouble())
            return fail(key, QStringLiteral("a number"));
        field = float(value.toDouble());
    }
    // The device sends texts as one byte per character with a one-byte length.
    void operator()(const char *key, QString &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        const QString text = value.toString();
        const bool latin1 =
            std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
        if (!value.isString() || text.size() > 255 || !latin1)
            return fail(key, QStringLiteral("a Latin-1 text of at most 255 characters"));
        field = text;
    }
    void operator()(const char *key, QByteArray &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        const QByteArray hex = value.toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (!value.isString() || hex.size() % 2 != 0 || bytes.toHex() != hex.toLower() ||
            bytes.size() > 255) {
            return fail(key, QStringLiteral("hex digits of at most 255 bytes"));
        }
        field = bytes;
    }
    template<std::size_t N> void operator()(const char *key, std::array<quint8, N> &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        const QStringList parts = value.toString().split(separatorFor<N>());
        std::array<quint8, N> octets{};
        bool valid = value.isString() && parts.size() == qsizetype(N);
        for (std::size_t i = 0; valid && i < N; ++i) {
            const uint octet = parts[qsizetype(i)].toUInt(&valid, N == 4 ? 10 : 16);
            valid = valid && octet <= 255;
            octets[i] = quint8(octet);
        }
        if (!valid)
            return fail(key, N == 4 ? QStringLiteral("an address a.b.c.d")
                                    : QStringLiteral("a MAC address aa:bb:cc:dd:ee:ff"));
        field = octets;
    }
    void operator()(const char *key, QList<quint16> &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        QList<quint16> ids;
        for (const QJsonValue id : value.toArray()) {
            const int number = id.toInt(-1);
            if (!id.isDouble() || number < 0 || number > 65535 || ids.size() == 255)
                return fail(key, QStringLiteral("at most 255 service IDs from 0 to 65535"));
            ids.append(quint16(number));
        }
        if (!value.isArray())
            return fail(key, QStringLiteral("an array of service IDs"));
        field = ids;
    }
    void operator()(const char *key, QList<InputService> &field)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        if (!value.isArray())
            return fail(key, QStringLiteral("an array of services"));
        QList<InputService> services;
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size() && error.isEmpty(); ++i) {
            Loader inner(array[i].toObject(), QStringLiteral("%1.%2[%3]").arg(m_path, key).arg(i));
            InputService service;
            inner("name", service.name);
            inner("id", service.id);
            error = inner.finish();
            services.append(service);
        }
        if (services.size() > 255)
            return fail(key, QStringLiteral("at most 255 services"));
        if (error.isEmpty())
            field = services;
    }
    template<class T, class F> void object(const char *key, T &field, F visit)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        if (!value.isObject())
            return fail(key, QStringLiteral("an object"));
        Loader inner(value.toObject(), qualified(key));
        visit(inner, field);
        if (error.isEmpty())
            error = inner.finish();
    }
    template<class T, std::size_t N, class F>
    void list(const char *key, std::array<T, N> &fields, F visit)
    {
        const QJsonValue value = take(key);
        if (value.isUndefined())
            return;
        const QJsonArray array = value.toArray();
        if (!value.isArray() || array.size() > qsizetype(N))
            return fail(key, QStringLiteral("an array of at most %1 objects").arg(N));
        for (qsizetype i = 0; i < array.size() && error.isEmpty(); ++i) {
            if (!array[i].isObject())
                return fail(key, QStringLiteral("an array of objects"));
            Loader inner(array[i].toObject(), QStringLiteral("%1[%2]").arg(qualified(key)).arg(i));
            visit(inner, fields[std::size_t(i)]);
            error = inner.finish();
        }
    }

    // Reports the first error, or a key that no field claimed (a typo would otherwise pass
    // silently and leave the default in place).
    QString finish() const
    {
        if (!error.isEmpty())
            return error;
        for (const QString &key : m_json.keys()) {
            if (!m_taken.contains(key))
                return QStringLiteral("%1: unknown key").arg(qualified(key));
        }
        return {};
    }

private:
    QJsonValue take(const char *key)
    {
        m_taken.insert(QString::fromLatin1(key));
        return error.isEmpty() ? m_json.value(QLatin1String(key)) : QJsonValue::Undefined;
    }
    QString qualified(const QString &key) const
    {
        return m_path.isEmpty() ? key : m_path + u'.' + key;
    }
    void fail(const char *key, const QString &expected)
    {
        if (error.isEmpty())
            error = QStringLiteral("%1: expected %2")
                        .arg(qualified(QString::fromLatin1(key)), expected);
    }

    QJsonObject m_json;
    QString m_path;
    QSet<QString> m_taken;
};

} // namespace

bool loadState(const QJsonObject &json, DeviceState &state, QString *error)
{
    DeviceState loaded = state;
    Loader loader(json, {});
    visitState(loader, loaded);
    const QString problem = loader.finish();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    state = loaded;
    return true;
}

QJsonObject saveState(const DeviceState &state)
{
    Saver saver;
    visitState(saver, state);
    return saver.json;
}

bool loadStateFile(const QString &path, DeviceState &state, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        if (error)
            *error =
                QStringLiteral("%1: not a JSON object (%2)").arg(path, parseError.errorString());
        return false;
    }
    return loadState(document.object(), state, error);
}

bool saveStateFile(const QString &path, const DeviceState &state, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(saveState(state)).toJson()) < 0) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace sim
