#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

class QObject;
class QThread;
class QTcpServer;
class QTcpSocket;

// The spectrometer software as the station sees it over the link protocol: a loopback TCP server
// on its own thread that accepts the conversation "OPUS|System", runs every advised item as a
// command, announces results with NOTIFY and answers REQUEST with the result text; the station's
// TIMEOUT (meant for a bridge's DDE calls) is accepted. Measurements write their files where the
// commands name them. Fault switches are plain setters; every
// exchange is recorded in order.
class SimSpectrometer
{
public:
    // What goes wrong with a measurement (Micro-Manager style fault switches).
    enum class ScanFault { None, EmptyStage, OffBeam, Saturated, Noisy, Slipped };

    struct Exchange
    {
        bool fromStation = true; // false: sent by the simulator
        QByteArray bytes;        // one line without its LF, or an answer with its value
    };

    explicit SimSpectrometer(quint16 port = 0, const QString& dataRoot = QString());
    ~SimSpectrometer();
    SimSpectrometer(const SimSpectrometer&) = delete;
    SimSpectrometer& operator=(const SimSpectrometer&) = delete;

    bool start();
    void stop();
    quint16 port() const { return m_port; }
    QString address() const;

    // Fault switches and values, safe to change from any thread at any time.
    void setRefuseItems(bool refuse);           // ADVISE and REQUEST answered with ERROR
    void setNotify(bool notify);                // false: results are never announced
    void setNeverAnswer(bool never);            // lines are read and logged, nothing is answered
    void setAnswerDelayMs(int ms);              // every answer waits this long
    void setDropOnItem(const QString& prefix);  // the connection is cut when such an item arrives
    void setDropOnRequest(const QString& item); // the connection is cut when this item's result is asked for
    void dropConnections();                     // cuts every connection now
    // The stone on the stage: its spectra are measured whatever the sample is named. Empty: the stone
    // is told by the sample name's lot code.
    void setMountedStone(const QString& stoneKey);
    // One measurement goes wrong: the next one after goodScansFirst good ones is taken with fault.
    void setScanFault(ScanFault fault, int goodScansFirst = 0);
    void setPeakAmplitude(const QString& value);
    void setPeakPosition(const QString& value);
    void setStatusMessageCode(const QString& code); // DIAG_STATUS MESSAGE: 0, 10152, 60139, ...
    void setStatusCode(const QString& code);        // DIAG_STATUS: 0, 1, 2, ...
    // The result of items beginning with prefix is exactly these bytes.
    void setReplyFor(const QString& itemPrefix, const QByteArray& value);
    void clearReplies();
    // Called on the simulator's thread with one text line per exchange.
    void setLogSink(std::function<void(const QString&)> sink);

    std::vector<Exchange> log() const;
    QStringList receivedLines() const; // every line from the station, in order
    QStringList advisedItems() const;  // the items of ADVISE lines, in order
    QStringList executedCommands() const;
    int connectionCount() const;
    void clearLog();

    // The absorbance table of one scan of a stone: "wavenumber,absorbance" lines with CR LF from
    // 4000 down to 400 cm-1. Deterministic for (stoneKey, scanIndex); scans of one stone differ
    // by a little noise and a rotation effect.
    static QByteArray spectrumFor(const QString& stoneKey, int scanIndex, ScanFault fault = ScanFault::None);
    // The stone a sample name belongs to: the name up to its first "-" followed by a digit
    // (the lot code in "<lot>-<station><index><suffix>.0").
    static QString stoneKeyFor(const QString& sampleName);
    // Where a path named in a command lies on this machine: Windows paths ("C:\x\y") go under the
    // data root ("<root>/C/x/y"), local absolute paths stay, backslashes become separators.
    QString localPath(const QString& commandPath) const;

private:
    struct Connection
    {
        QByteArray buffer;
        bool conversationOpen = false;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handleLine(QTcpSocket* socket, const QByteArray& line);
    void answer(QTcpSocket* socket, const QByteArray& bytes);
    QByteArray runCommand(const QString& command);
    QByteArray measureSample(const QString& command);
    QByteArray saveAs(const QString& command);
    QByteArray overrideFor(const QString& item, bool* found) const;
    void record(bool fromStation, const QByteArray& bytes);

    quint16 m_requestedPort = 0;
    quint16 m_port = 0;
    QString m_dataRoot;
    QThread* m_thread = nullptr;
    QObject* m_context = nullptr; // lives on m_thread
    QTcpServer* m_server = nullptr;
    std::map<QTcpSocket*, Connection> m_connections; // simulator thread only
    std::map<QString, QByteArray> m_results;         // simulator thread only
    std::map<QString, int> m_scanCounts;             // simulator thread only

    mutable QMutex m_mutex; // guards everything below
    bool m_refuseItems = false;
    bool m_notify = true;
    bool m_neverAnswer = false;
    int m_answerDelayMs = 0;
    QString m_dropOnItem;
    QString m_dropOnRequest;
    QString m_mountedStone;
    ScanFault m_scanFault = ScanFault::None;
    int m_goodScansBeforeFault = 0;
    QString m_peakAmplitude = QStringLiteral("0.43829581");
    QString m_peakPosition = QStringLiteral("14512.0000");
    QString m_statusMessageCode = QStringLiteral("0");
    QString m_statusCode = QStringLiteral("0");
    std::vector<std::pair<QString, QByteArray>> m_replies;
    std::function<void(const QString&)> m_logSink;
    std::vector<Exchange> m_log;
    int m_connectionCount = 0;
};
