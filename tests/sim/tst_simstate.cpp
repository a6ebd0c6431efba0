#include "sim/stateio.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

class TestSimState : public QObject {
    Q_OBJECT

private slots:
    void fileRoundTripKeepsEveryField();
    void partialConfigurationKeepsDefaults();
    void invalidConfigurationIsRefusedWhole_data();
    void invalidConfigurationIsRefusedWhole();
};

void TestSimState::fileRoundTripKeepsEveryField()
{
    sim::DeviceState state;
    state.identity.serialNumber = -7;
    state.identity.variant = 3;
    state.diagnostics.status = QByteArray::fromHex("0102");
    state.lan.gateway = {10, 0, 0, 254};
    state.lan.mac = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};
    state.lan.port = 65535;
    state.channels[15].outFrequency = 858.25f;
    state.channels[15].inFrequency = -32768;
    state.channels[15].serviceMode = 128;
    state.channels[15].serviceIds = {0, 65535};
    state.channels[15].tuner.dataRate = 51.5f;
    state.channels[15].inputServices = {{QStringLiteral("Caf\u00e9 TV"), 17}};

    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    QString error;
    QVERIFY2(sim::saveStateFile(path, state, &error), qPrintable(error));
    sim::DeviceState loaded;
    QVERIFY2(sim::loadStateFile(path, loaded, &error), qPrintable(error));
    QCOMPARE(sim::saveState(loaded), sim::saveState(state));
    QCOMPARE(loaded.channels[15].inputServices[0].name, QStringLiteral("Caf\u00e9 TV"));
}

void TestSimState::partialConfigurationKeepsDefaults()
{
    const QJsonObject json = QJsonDocument::fromJson(R"({
        "identity": {"controller_version": "1.02"},
        "lan": {"ip": "10.1.2.3"},
        "channels": [{}, {"qam": 3, "tuner": {"status": 0}}]
    })")
                                 .object();
    sim::DeviceState state;
    QString error;
    QVERIFY2(sim::loadState(json, state, &error), qPrintable(error));
    QCOMPARE(state.identity.controllerVersion, QStringLiteral("1.02"));
    QCOMPARE(state.identity.serialNumber, 123456);
    QCOMPARE(state.lan.ip, (std::array<quint8, 4>{10, 1, 2, 3}));
    QCOMPARE(state.lan.mask, (std::array<quint8, 4>{255, 255, 255, 0}));
    QCOMPARE(state.channels[1].qam, quint8(3));
    QCOMPARE(state.channels[1].tuner.status, qint16(0));
    QCOMPARE(state.channels[1].tuner.snrTenths, 105);
    QCOMPARE(state.channels[0].qam, quint8(5));
}

void TestSimState::invalidConfigurationIsRefusedWhole_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("key");
    QTest::newRow("misspelt key") << QByteArray(R"({"identity": {"serial": 5}})")
                                  << "identity.serial";
    QTest::newRow("byte too large")
        << QByteArray(R"({"channels": [{"qam": 256}]})") << "channels[0].qam";
    QTest::newRow("16-bit too large")
        << QByteArray(R"({"lan": {"port": 1},)"
                      R"( "channels": [{"qam": 1}, {"lo_frequency": 40000}]})")
        << "channels[1].lo_frequency";
    QTest::newRow("fraction for integer") << QByteArray(R"({"lan": {"port": 80.5}})") << "lan.port";
    QTest::newRow("short address") << QByteArray(R"({"lan": {"mask": "255.255.0"}})") << "lan.mask";
    QTest::newRow("octet too large") << QByteArray(R"({"lan": {"ip": "1.2.3.256"}})") << "lan.ip";
    QTest::newRow("text beyond Latin-1")
        << QByteArray(R"({"identity": {"serial_number": 1, "device_type": "\u20ac"}})")
        << "identity.device_type";
    QTest::newRow("odd hex") << QByteArray(R"({"diagnostics": {"status": "F50"}})")
                             << "diagnostics.status";
    QTest::newRow("seventeen channels")
        << QByteArray(R"({"channels": [{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{},{}]})")
        << "channels";
    QTest::newRow("misspelt service key")
        << QByteArray(R"({"channels": [{"input_services": [{"name": "A", "idd": 1}]}]})")
        << "channels[0].input_services[0].idd";
}

void TestSimState::invalidConfigurationIsRefusedWhole()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, key);
    sim::DeviceState state;
    QString error;
    QVERIFY(!sim::loadState(QJsonDocument::fromJson(json).object(), state, &error));
    QVERIFY2(error.startsWith(key + ":"), qPrintable(error));
    // Valid values in front of the fault are not applied either.
    QCOMPARE(sim::saveState(state), sim::saveState(sim::DeviceState()));
}

QTEST_GUILESS_MAIN(TestSimState)
#include "tst_simstate.moc"
