#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

// The link bridge and the DDE spectrometer double, run under Wine in the test run's prefix, in a
// temporary folder that also holds the bridge's log and the double's record of what it received.
class WineBridge
{
public:
    // Why these tests cannot run here (no Wine, bridge not cross-built, prefix not set up); empty
    // when they can.
    static QString unavailableReason();

    WineBridge();
    ~WineBridge();
    WineBridge(const WineBridge&) = delete;
    WineBridge& operator=(const WineBridge&) = delete;

    // Starts the double with these fault switches and waits until it serves conversations.
    bool startDouble(const QStringList& switches = {});
    // Starts the bridge on a free port of listenHost with these extra options; waits until it listens.
    bool startBridge(const QStringList& options = {},
                     const QString& listenHost = QStringLiteral("127.0.0.1"));
    void stopDouble();
    void stopBridge();
    QString error() const { return m_error; }

    QString folder() const { return m_folder.path(); }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    quint16 port() const { return m_port; }
    QString logPath() const;
    QByteArray log() const;
    // Every transaction the double received ("CONNECT OPUS|System", "ADVISE ...", ...), in order.
    QStringList recorded() const;
    // The same as the double wrote it: in the workstation's ANSI code page (Wine's default is 1252).
    QByteArray recordedBytes() const;
    // Runs a Windows program of the bridge build to its end; its standard output, or "" after a time-out.
    static QByteArray runToEnd(const QString& exe, const QStringList& arguments, int* exitCode);

    // How programs of this run start under Wine: its prefix, quiet, no display.
    static QString wine();
    static QProcessEnvironment environment();

    static QString bridgeExe();
    static QString doubleExe();

private:
    std::unique_ptr<QProcess> start(const QString& exe, const QStringList& arguments,
                                    const QByteArray& readyText);

    QTemporaryDir m_folder;
    std::unique_ptr<QProcess> m_double;
    std::unique_ptr<QProcess> m_bridge;
    quint16 m_port = 0;
    QString m_error;
};

// The station's side of the link, byte by byte: lines out, answers and notifications in.
class LinkClient
{
public:
    bool connectTo(quint16 port, int timeoutMs = 5000);
    // From a chosen local address (127.0.0.2 is loopback too) to host:port.
    bool connectFrom(const QHostAddress& from, const QHostAddress& host, quint16 port, int timeoutMs = 5000);
    void send(const QByteArray& line); // LF added
    // One message as sent: a line with its LF, or "OK <n>\n" with its n bytes; "" after timeoutMs.
    QByteArray take(int timeoutMs = 5000);
    // True when the bridge closes the connection within timeoutMs (what arrived before is kept).
    bool closedWithin(int timeoutMs);
    // Bytes received and not yet taken.
    const QByteArray& received() const { return m_buffer; }
    // Sends a line and returns its answer.
    QByteArray transact(const QByteArray& line, int timeoutMs = 5000);
    QTcpSocket& socket() { return m_socket; }

private:
    qsizetype messageLength() const;

    QTcpSocket m_socket;
    QByteArray m_buffer;
};

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
