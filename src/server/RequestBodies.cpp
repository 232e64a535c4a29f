#include "server/RequestBodies.h"

#include "server/JsonText.h"

QByteArray RequestBodies::quoted(const QString& text)
{
    QByteArray out("\"");
    JsonText::appendEscaped(out, text);
    out.append('"');
    return out;
}

void RequestBodies::appendStation(QByteArray& out, const Station& station)
{
    out.append("{\"machineId\":\"");
    JsonText::appendEscaped(out, station.userName);
    out.append("\",\"Product_Ver\":\"");
    JsonText::appendEscaped(out, station.programVersion);
    out.append("\",\"Opus_Ver\":\"");
    JsonText::appendEscaped(out, station.opusVersion);
    out.append('"');
}

void RequestBodies::appendList(QByteArray& out, const QStringList& ids)
{
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append(quoted(ids[i]));
    }
}

QByteArray RequestBodies::serverStatus(const QString& stoneIdText)
{
    return "{\"Status\":" + quoted(stoneIdText) + "}";
}

QByteArray RequestBodies::login(const QString& companyCode)
{
    return "{\"companyName\":" + quoted(companyCode) +
           ",\"password\":\"Pnk4Morvatel9##\",\"username\":\"auditor\" }";
}

QByteArray RequestBodies::lotCode(const QString& stoneIdText)
{
    return "{\"lotCode\":" + quoted(stoneIdText) + "}";
}

QByteArray RequestBodies::registrationScan(const Station& station, const QString& fileName,
                                           const QByteArray& fileBytes)
{
    QByteArray out;
    out.reserve(fileBytes.size() + 256);
    appendStation(out, station);
    out.append(",\"name\":\"");
    JsonText::appendEscaped(out, fileName);
    out.append("\",\"points\":\"");
    JsonText::appendPoints(out, fileBytes);
    out.append("\",\"licenseId\":1,\"id\":\"12345-1\"}");
    return out;
}

QByteArray RequestBodies::submitMainFiles(const QStringList& scanIds)
{
    QByteArray out("{\r\n\"scanIds\":[");
    appendList(out, scanIds);
    out.append("] }");
    return out;
}

QByteArray RequestBodies::queryScan(const Station& station, const QString& spectrumFileName,
                                    const QByteArray& fileBytes, const QString& lotCode,
                                    const QString& stageName)
{
    QByteArray out;
    out.reserve(fileBytes.size() + 256);
    appendStation(out, station);
    out.append(",\"name\":\"");
    JsonText::appendEscaped(out, spectrumFileName);
    out.append("\",\"points\":\"");
    JsonText::appendPoints(out, fileBytes);
    out.append("\\r\",\"base\":\"");
    JsonText::appendEscaped(out, lotCode);
    out.append("\",\"isMain\":false,\"stage\":\"");
    JsonText::appendEscaped(out, stageName);
    out.append("\"}");
    return out;
}

QByteArray RequestBodies::publishTransactionIds(const Station& station, const QStringList& transactionIds)
{
    QByteArray out;
    appendStation(out, station);
    out.append(",\"transactionIds\":[");
    appendList(out, transactionIds);
    out.append("],\r\n\"remark\":");
    out.append(quoted(station.userName));
    out.append(",\r\n\"expected_result\":\"NOT KNOW\"\r\n}");
    return out;
}

QByteArray RequestBodies::machineStatus(const Station& station, const QString& action,
                                        const QByteArray& valueJson)
{
    QByteArray out;
    appendStation(out, station);
    out.append(",\"action\":");
    out.append(quoted(action));
    out.append(",\"value\":");
    out.append(valueJson);
    out.append(" }");
    return out;
}
