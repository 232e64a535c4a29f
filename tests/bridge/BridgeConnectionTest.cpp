#include "WineBridge.h"

#include <QFile>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QHostAddress Loopback1(QStringLiteral("127.0.0.1"));
const QHostAddress Loopback2(QStringLiteral("127.0.0.2"));

// Who may connect and what happens to the connection there is when another comes.
class BridgeConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString reason = WineBridge::unavailableReason();
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }

    // Connects from the given address; true when the bridge serves it, false when it closes it without
    // a word.
    bool servedFrom(const QHostAddress& from, const QHostAddress& to = Loopback1)
    {
        LinkClient client;
        if (!client.connectFrom(from, to, wine.port())) {
            ADD_FAILURE() << "no TCP connection from " << from.toString().toStdString();
            return false;
        }
        client.send("CONNECT OPUS|System");
        if (client.closedWithin(1500)) {
            EXPECT_EQ(client.received(), QByteArray()) << "a refused station is told nothing";
            return false;
        }
        EXPECT_EQ(client.take(), "OK\n");
        return true;
    }

    WineBridge wine;
};

// A non-loopback address of this computer, when it has one.
QHostAddress ownNetworkAddress()
{
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address;
    return QHostAddress();
}

TEST_F(BridgeConnectionTest, AllowedAddresses)
{
    struct Attempt
    {
        QHostAddress from;
        bool served;
    };
    struct Case
    {
        QStringList allow; // empty: the default
        std::vector<Attempt> attempts;
    };
    const QHostAddress network = ownNetworkAddress();
    std::vector<Case> cases{
        // The whole of 127.0.0.0/8 is this computer.
        {{}, {{Loopback1, true}, {Loopback2, true}}},
        {{"127.0.0.2/32"}, {{Loopback1, false}, {Loopback2, true}}},
        {{"10.1.2.3", "127.0.0.0/31"},
         {{Loopback1, true}, {QHostAddress(QStringLiteral("127.0.0.3")), false}}},
    };
    // A dual-stack listener, when this computer has IPv6: IPv4 stations are matched by their IPv4 address.
    QTcpServer probe;
    const bool ipv6 = probe.listen(QHostAddress::LocalHostIPv6, 0);
    probe.close();
    if (ipv6) {
        cases[0].attempts.push_back({QHostAddress::LocalHostIPv6, true});
        cases[1].attempts.push_back({QHostAddress::LocalHostIPv6, false});
        cases[2].allow << QStringLiteral("::1/128");
        cases[2].attempts.push_back({QHostAddress::LocalHostIPv6, true});
    }
    if (!network.isNull()) {
        // By default a station on another computer is refused until the site names it.
        cases[0].attempts.push_back({network, false});
        cases[2].allow << network.toString();
        cases[2].attempts.push_back({network, true});
    }
    for (const Case& c : cases) {
        QStringList options;
        for (const QString& allowed : c.allow)
            options << QStringLiteral("--allow") << allowed;
        // Both afresh: Wine 8's server can fail an assertion when a bridge with sockets is killed, and
        // takes the double with it.
        wine.stopBridge();
        ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
        ASSERT_TRUE(wine.startBridge(options, ipv6 ? QStringLiteral("[::]") : QStringLiteral("0.0.0.0")))
            << wine.error().toStdString();
        for (const Attempt& attempt : c.attempts) {
            const bool v6 = attempt.from.protocol() == QAbstractSocket::IPv6Protocol;
            const std::string label =
                c.allow.join(' ').toStdString() + " from " + attempt.from.toString().toStdString();
            const QHostAddress to = attempt.from == network || v6 ? attempt.from : Loopback1;
            EXPECT_EQ(servedFrom(attempt.from, to), attempt.served) << label;
            const QByteArray shown =
                v6 ? "[" + attempt.from.toString().toUtf8() + "]" : attempt.from.toString().toUtf8();
            if (!attempt.served) {
                EXPECT_TRUE(wine.log().contains("refused " + shown + ":")) << label;
            }
        }
    }

    // A refused peer does not take over.
    wine.stopBridge();
    ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
    ASSERT_TRUE(wine.startBridge({QStringLiteral("--allow"), QStringLiteral("127.0.0.1")}));
    LinkClient station;
    ASSERT_TRUE(station.connectTo(wine.port()));
    ASSERT_EQ(station.transact("CONNECT OPUS|System"), "OK\n");
    EXPECT_FALSE(servedFrom(Loopback2));
    EXPECT_EQ(station.transact("REQUEST DIAG_STATUS"), "OK 14\nOK0         \r\n");
}

TEST_F(BridgeConnectionTest, NewStationTakesOver)
{
    struct Case
    {
        const char* name;
        bool midCall; // the first station waits for a slow DDE answer when the second comes
    };
    for (const Case c : {Case{"idle", false}, Case{"mid_call", true}}) {
        ASSERT_TRUE(wine.startDouble({QStringLiteral("--answer-delay"), QStringLiteral("1500"),
                                      QStringLiteral("--delay-on"), QStringLiteral("READ_PARAMETER PKA")}));
        ASSERT_TRUE(wine.startBridge());
        LinkClient first;
        ASSERT_TRUE(first.connectTo(wine.port()));
        ASSERT_EQ(first.transact("CONNECT OPUS|System"), "OK\n") << c.name;
        ASSERT_EQ(first.transact("ADVISE DIAG_STATUS"), "OK\n") << c.name;
        ASSERT_EQ(first.take(), "NOTIFY DIAG_STATUS\n") << c.name;
        if (c.midCall) {
            first.send("REQUEST READ_PARAMETER PKA");
            QThread::msleep(300);
        }

        LinkClient second;
        ASSERT_TRUE(second.connectTo(wine.port()));
        // The first is told, once and nothing after, and closed.
        EXPECT_TRUE(first.closedWithin(5000)) << c.name;
        EXPECT_EQ(first.received(), "ERROR Another station took over\n") << c.name;
        EXPECT_EQ(second.transact("CONNECT OPUS|System", 8000), "OK\n") << c.name;
        EXPECT_EQ(second.transact("REQUEST READ_PARAMETER ABP", 8000), "OK 14\nOK14512.0000\r\n") << c.name;
        // The first station's conversation was ended before the second's began.
        const QStringList recorded = wine.recorded();
        const qsizetype terminate = recorded.lastIndexOf(QStringLiteral("TERMINATE"));
        EXPECT_GE(terminate, 0) << c.name;
        EXPECT_EQ(recorded.lastIndexOf(QStringLiteral("CONNECT OPUS|System")), terminate + 1) << c.name;
        EXPECT_TRUE(wine.log().contains(" took over")) << c.name;
    }
}

TEST_F(BridgeConnectionTest, QuickReconnectsWithUnreadDataAreEachServed)
{
    ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
    ASSERT_TRUE(wine.startBridge()) << wine.error().toStdString();
    // A station that closes with answers unread resets its connection; the bridge's late close event of
    // that socket must not close the next connection, which often gets the same handle value.
    int failures = 0;
    for (int round = 0; round < 30; ++round) {
        {
            LinkClient gone;
            ASSERT_TRUE(gone.connectTo(wine.port()));
            gone.send("CONNECT OPUS|System");
            gone.send("REQUEST READ_PARAMETER PKA");
            if (round % 2)
                gone.socket().waitForReadyRead(2000);
            gone.socket().abort();
        }
        LinkClient next;
        ASSERT_TRUE(next.connectTo(wine.port()));
        const QByteArray connected = next.transact("CONNECT OPUS|System");
        const QByteArray answered = next.transact("REQUEST READ_PARAMETER ABP");
        const bool closed = next.closedWithin(150);
        if (connected != "OK\n" || answered != "OK 14\nOK14512.0000\r\n" || closed) {
            ++failures;
            ADD_FAILURE() << "round " << round << ": " << connected.toStdString() << answered.toStdString()
                          << (closed ? "(closed)" : "");
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST_F(BridgeConnectionTest, IdleStationConnectionIsProbed)
{
    ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
    ASSERT_TRUE(wine.startBridge()) << wine.error().toStdString();
    LinkClient station;
    ASSERT_TRUE(station.connectTo(wine.port()));
    ASSERT_EQ(station.transact("CONNECT OPUS|System"), "OK\n");
    // The bridge's end of the connection, seen from Linux: its timer is the keep-alive timer (2), due
    // within the probe's idle time, in hundredths of a second.
    QFile table(QStringLiteral("/proc/net/tcp"));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    const QString local = QStringLiteral("0100007F:%1").arg(wine.port(), 4, 16, QLatin1Char('0')).toUpper();
    const QString remote =
        QStringLiteral("0100007F:%1").arg(station.socket().localPort(), 4, 16, QLatin1Char('0')).toUpper();
    QString timer;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QStringList fields = QString::fromLatin1(line).simplified().split(QLatin1Char(' '));
        if (fields.size() > 5 && fields[1] == local && fields[2] == remote)
            timer = fields[5];
    }
    ASSERT_FALSE(timer.isEmpty()) << "no such connection in /proc/net/tcp";
    EXPECT_TRUE(timer.startsWith(QLatin1String("02:"))) << timer.toStdString();
    bool ok = false;
    const long dueHundredths = timer.mid(3).toLong(&ok, 16);
    EXPECT_TRUE(ok && dueHundredths > 0 && dueHundredths <= 2000) << timer.toStdString();
}

} // namespace
