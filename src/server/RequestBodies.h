#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The request bodies of the server operations, built from their fixed templates. Every value
// that stands inside quotes is JSON-escaped (JsonText); the rest of each template is sent as is.
class RequestBodies
{
public:
    // Who sends: opens every upload and telemetry body.
    struct Station
    {
        QString userName;
        QString programVersion;
        QString opusVersion;
    };

    static QByteArray serverStatus(const QString& stoneIdText);
    static QByteArray login(const QString& companyCode);
    static QByteArray lotCode(const QString& stoneIdText);
    static QByteArray registrationScan(const Station& station, const QString& fileName,
                                       const QByteArray& fileBytes);
    static QByteArray submitMainFiles(const QStringList& scanIds);
    static QByteArray queryScan(const Station& station, const QString& spectrumFileName,
                                const QByteArray& fileBytes, const QString& lotCode,
                                const QString& stageName);
    static QByteArray publishTransactionIds(const Station& station, const QStringList& transactionIds);
    // valueJson is placed unquoted: a number, null, or an already quoted string.
    static QByteArray machineStatus(const Station& station, const QString& action,
                                    const QByteArray& valueJson);
    static QByteArray quoted(const QString& text);

private:
    static void appendStation(QByteArray& out, const Station& station);
    static void appendList(QByteArray& out, const QStringList& ids);
};
