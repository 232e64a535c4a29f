#include "server/ServerClient.h"

#include "core/ConsoleModel.h"
#include "core/NumberText.h"
#include "core/StationState.h"
#include "server/ServerClientShared.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

using ServerClientShared::cutError;
using ServerClientShared::json;

namespace {

const QString uploadMainPath = QStringLiteral("/diamond/UploadDiaMain");
const QString submitPath = QStringLiteral("/diamond/submitMainFiles");
const QString transactionPath = QStringLiteral("/diamond/addTransactionLog");
const QString publishPath = QStringLiteral("/diamond/publishNewAddedTransactionIds");

const QString subscriptError = QStringLiteral("Subscript out of range");

// Scans per stone as the count box reads: its numeric value, rounded.
std::optional<int> scanCount(const QString& text)
{
    const double n = NumberText::roundHalfEven(NumberText::parseLeading(text));
    if (!std::isfinite(n) || std::fabs(n) > 32767)
        return std::nullopt;
    return int(n);
}

bool validIndex(int index)
{
    return index >= 0 && index <= 10;
}

} // namespace

void ServerClient::UploadRegistrationScan()
{
    StationState& s = stationState();
    m_lastReport.clear();
    m_outcome = {};
    m_model.setMsg(QStringLiteral("Uploading on Server......."));
    const QString path = spectrumFilePath();
    const QString fileName = path.mid(path.lastIndexOf(u'\\') + 1);
    const QString k = QString::number(s.MeasurementIndex + 1);

    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        const QString text = QStringLiteral("Error: Uploading ..[") + k + QStringLiteral("]..") + description;
        m_model.setMsg(text);
        report(text);
        showDataDialog(text);
        s.DataFailed = true;
    };

    QFile file(diskPath(path));
    if (!QFileInfo(file).isFile()) {
        m_outcome.error = QStringLiteral("no spectrum file");
        s.DataFailed = true;
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        fail(file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    HttpRequest request(m_limits);
    const HttpReply reply = request.send("POST", veloraBase() + uploadMainPath,
                                         {{"Authorization", bearer().toUtf8()}, {"Content-Type", json}},
                                         RequestBodies::registrationScan(station(), fileName, bytes));
    if (!reply.completed) {
        fail(reply.error);
        return;
    }
    const QString text = reply.text();
    m_outcome.status = reply.status;
    m_outcome.reply = text;
    if (reply.status == 201) {
        m_model.setMsg(QStringLiteral("Response: ") + text);
        const QString done = QStringLiteral("Uploading ...[") + k + QStringLiteral("]....Done");
        m_model.setMsg(done);
        report(done);
        s.DataFailed = false;
    } else {
        const QString failed = QStringLiteral("Failed...[") + k + QStringLiteral("]..") +
                               QString::number(reply.status) + " - " + text;
        m_model.setMsg(failed);
        report(failed);
        showDataDialog(failed);
        s.DataFailed = true;
    }
    const auto value = cutReply(text, QStringLiteral("id"), 5, 3);
    if (!value) {
        fail(cutError(QStringLiteral("id")));
        return;
    }
    if (!validIndex(s.MeasurementIndex)) {
        fail(subscriptError);
        return;
    }
    s.ScanIds[s.MeasurementIndex] = *value;
    m_outcome.id = *value;
    m_model.setMsg(QStringLiteral("Diamond Uploaded.......= ") + *value);
}

std::optional<QStringList> ServerClient::collectScanIds(QString* error)
{
    StationState& s = stationState();
    const auto n = scanCount(m_model.Text6->text());
    if (!n) {
        *error = QStringLiteral("Overflow");
        return std::nullopt;
    }
    QStringList ids;
    s.MeasurementIndex = 0;
    for (int i = 0; i <= *n - 2; ++i) {
        s.MeasurementIndex = qint16(i);
        if (!validIndex(i)) {
            *error = subscriptError;
            return std::nullopt;
        }
        ids.append(s.ScanIds[i]);
    }
    if (*n - 2 >= 0)
        s.MeasurementIndex = qint16(*n - 1);
    if (!validIndex(*n - 1)) {
        *error = subscriptError;
        return std::nullopt;
    }
    ids.append(s.ScanIds[*n - 1]);
    return ids;
}

bool ServerClient::SubmitMainFiles()
{
    StationState& s = stationState();
    m_lastReport.clear();
    m_outcome = {};
    m_model.setMsg(QStringLiteral("Querying on Server......."));
    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        m_model.setMsg(QStringLiteral("Error:  ") + description);
        return false;
    };
    QString error;
    const auto ids = collectScanIds(&error);
    if (!ids)
        return fail(error);
    HttpRequest request(m_limits);
    const HttpReply reply = request.send("POST", veloraBase() + submitPath,
                                         {{"Authorization", bearer().toUtf8()}, {"Content-Type", json}},
                                         RequestBodies::submitMainFiles(*ids));
    if (!reply.completed)
        return fail(reply.error);
    const QString text = reply.text();
    m_outcome.status = reply.status;
    m_outcome.reply = text;
    if (reply.status == 201) {
        m_model.setMsg(QStringLiteral("Response: ") + text);
        s.DataFailed = false;
        return true;
    }
    m_model.setMsg(QStringLiteral("Error: ") + QString::number(reply.status) + " - " + text);
    report(text);
    showDataDialog(text);
    s.DataFailed = true;
    return false;
}

void ServerClient::UploadQueryScan()
{
    StationState& s = stationState();
    m_lastReport.clear();
    m_outcome = {};
    m_model.setMsg(QStringLiteral("Querying on Server....... = ") + QString::number(s.MeasurementIndex));
    const QString path = spectrumFilePath();

    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        const QString text = QStringLiteral("Error: Query-Diamond ") + description;
        m_model.setMsg(text);
        report(text);
        showDataDialog(text);
        s.DataFailed = true;
    };

    QFile file(diskPath(path));
    if (!QFileInfo(file).isFile()) {
        const QString text = QStringLiteral("File not found: ") + path;
        m_outcome.error = text;
        report(text);
        showDataDialog(text);
        s.DataFailed = true;
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        fail(file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    HttpRequest request(m_limits);
    const HttpReply reply = request.send(
        "POST", veloraBase() + transactionPath,
        {{"Authorization", bearer().toUtf8()}, {"Content-Type", json}},
        RequestBodies::queryScan(station(), s.SpectrumFileName, bytes, s.LotCode.toText(), s.StageName));
    if (!reply.completed) {
        fail(reply.error);
        return;
    }
    const QString text = reply.text();
    m_outcome.status = reply.status;
    m_outcome.reply = text;
    judgeQueryReply(reply.status, text);
    const auto value = cutReply(text, QStringLiteral("id"), 5, 3);
    if (!value) {
        fail(cutError(QStringLiteral("id")));
        return;
    }
    if (!validIndex(s.MeasurementIndex)) {
        fail(subscriptError);
        return;
    }
    s.ScanIds[s.MeasurementIndex] = *value;
    m_outcome.id = *value;
    m_model.setMsg(QStringLiteral("Query Uploaded.......= ") + *value);
}

bool ServerClient::PublishTransactionIds()
{
    StationState& s = stationState();
    m_lastReport.clear();
    m_outcome = {};
    m_model.setMsg(QStringLiteral("Querying on Server......."));
    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        m_model.setMsg(QStringLiteral("Error: NewTransactionIDS ") + description);
        return false;
    };
    QString error;
    const auto ids = collectScanIds(&error);
    if (!ids)
        return fail(error);
    HttpRequest request(m_limits);
    const HttpReply reply = request.send("POST", veloraBase() + publishPath,
                                         {{"Authorization", bearer().toUtf8()}, {"Content-Type", json}},
                                         RequestBodies::publishTransactionIds(station(), *ids));
    if (!reply.completed)
        return fail(reply.error);
    const QString text = reply.text();
    m_outcome.status = reply.status;
    m_outcome.reply = text;
    judgeQueryReply(reply.status, text);
    const auto value = cutReply(text, QStringLiteral("id"), 5, 2);
    if (!value)
        return fail(cutError(QStringLiteral("id")));
    s.QueryId = *value;
    m_outcome.id = *value;
    m_model.setMsg(QStringLiteral("publish New Added TransactionIds.......= ") + *value);
    return reply.status == 201;
}

void ServerClient::judgeQueryReply(int status, const QString& text)
{
    StationState& s = stationState();
    if (status == 201) {
        m_model.setMsg(QStringLiteral("Response: ") + text);
        s.DataFailed = false;
        return;
    }
    const QString failed = QStringLiteral("Error: ") + QString::number(status) + " - " + text;
    m_model.setMsg(failed);
    report(failed);
    showDataDialog(failed);
    s.DataFailed = true;
}
