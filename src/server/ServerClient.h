#pragma once

#include "server/HttpRequest.h"
#include "server/RequestBodies.h"

#include <QObject>
#include <QString>

#include <optional>

class ConsoleModel;
class Operator;
class StationConsole;

// The station's client of the VELORA server, of the customer's stone-ID service and of the
// spectrometer's diagnostics page. Requests are synchronous on the console's thread; operations
// read their inputs from the station state and the console's controls and leave their results
// there. Connects itself to the maintenance buttons that reach the server.
class ServerClient : public QObject
{
    Q_OBJECT
public:
    ServerClient(StationConsole& console, Operator& op);

    // Time-outs and reply cap of every request (tests shorten them).
    void setLimits(const HttpRequest::Limits& limits) { m_limits = limits; }
    const HttpRequest::Limits& limits() const { return m_limits; }

    bool CheckServerStatus();
    void TestServerGet();
    void Login();
    // False when no lot code was obtained; IdReady is then 0, so no stone runs under an older code.
    bool GenerateLotCode();
    enum class StoneIdAnswer { Found, Unreachable, NoStoneId };
    // Found puts the customer's identifier into the stone ID box. Otherwise the box is unchanged
    // and lastError() holds the transport failure (Unreachable) or the service's answer
    // (NoStoneId: credentials refused, no usable access token, no stone for the barcode).
    StoneIdAnswer LookUpStoneId();
    void UploadRegistrationScan();
    // True when the server accepted the submission (201).
    bool SubmitMainFiles();
    void UploadQueryScan();
    // True when the server accepted the publication (201) and its reply gave QueryId.
    bool PublishTransactionIds();
    void ReadEnvironmentPage();
    void SendMachineStatus();

    // The "Internet" button.
    void Command15_Click();

    QString lastError() const { return m_lastError; }
    // The last report an upload, submission or publication wrote into Msg1 (empty when it wrote
    // none); later texts in Msg1 from other sources do not change it.
    QString lastReport() const { return m_lastReport; }

    // What the server did with the last upload, submission or publication (for the run journal).
    struct Outcome
    {
        int status = 0; // HTTP status; 0 when no reply came
        QString id;     // the scan, transaction or query id it returned
        QString error;  // why it failed on this side
        QString reply;  // the reply's text
    };
    const Outcome& lastOutcome() const { return m_outcome; }

    // First occurrence of key (exact), value from 1-based position p + skip with the last drop
    // characters removed; nothing when that tail is shorter than drop.
    static std::optional<QString> CutAfterKey(const QString& reply, const QString& key, int skip, int drop);
    static QString EncodeBase64(const QString& text);
    // Text of the element whose ID attribute is key ("Not Found" when there is none); *ok is
    // false when no "<" closes the value.
    static QString ExtractTaggedValue(const QString& page, const QString& key, bool* ok);
    // Whether a lot code from the server may name spectrum files and stand in spectrometer
    // commands: no path separators, "..", quotes, control or other characters file names cannot
    // hold, not empty, not ending in a blank or a point.
    static bool isAcceptableLotCode(const QString& lotCode);

private:
    QString veloraBase() const;
    QString loginBase() const;
    RequestBodies::Station station() const;
    QString bearer() const;
    // The instance use of CutAfterKey: the reply goes to the reply field, the value to the value field.
    std::optional<QString> cutReply(const QString& reply, const QString& key, int skip, int drop);
    void showDataDialog(const QString& text);
    void report(const QString& text);
    // A query upload or publication: 201 is accepted; anything else is shown and marks the data failed.
    void judgeQueryReply(int status, const QString& text);
    QString spectrumFilePath() const;
    QString diskPath(const QString& path) const;
    // The list of ScanIds(0..N-1), MeasurementIndex running as its counter; nothing (and the
    // description in *error) when an index falls outside the array.
    std::optional<QStringList> collectScanIds(QString* error);

    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    HttpRequest::Limits m_limits;
    QString m_lastError;
    QString m_lastReport;
    Outcome m_outcome;
};
