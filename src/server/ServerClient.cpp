#include "server/ServerClient.h"

#include "core/NumberText.h"
#include "core/StationState.h"
#include "server/JsonText.h"
#include "server/ReplyText.h"
#include "ui/CircleShape.h"
#include "ui/Frmgrading.h"
#include "ui/MsgBox_.h"
#include "ui/TextBox.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include <cmath>

namespace {

const QString dataDialogTitle = QStringLiteral("Data Not correct");
const QString statusPath = QStringLiteral("/getServerStatus");
const QString loginPath = QStringLiteral("/api/account/velora-login");
const QString lotCodePath = QStringLiteral("/diamond/generateLotCode");
const QString uploadMainPath = QStringLiteral("/diamond/UploadDiaMain");
const QString submitPath = QStringLiteral("/diamond/submitMainFiles");
const QString transactionPath = QStringLiteral("/diamond/addTransactionLog");
const QString publishPath = QStringLiteral("/diamond/publishNewAddedTransactionIds");
const QString machineStatusPath = QStringLiteral("/diamond/machineStatus");
const QString stoneIdTokenPath = QStringLiteral("/ords/morvex14/oauth/token");
const QString stoneIdLookupPath = QStringLiteral("/ords/morvex14/morvexapp/get_stoneid?p_brid=BR001&p_bcno=");
const QString stoneIdCredentials = QStringLiteral("Qh7TxLmR2vNpW9kZbY4sJd..:Ue3FgHt6KoP1wXz8QcVn5r..");
const QByteArray formContentType = QByteArrayLiteral("application/x-www-form-urlencoded");
const QByteArray json = QByteArrayLiteral("application/json");

const QString subscriptError = QStringLiteral("Subscript out of range");

// What a service answered, for a message line: status and the start of the reply.
QString answerOf(const HttpReply& reply)
{
    constexpr qsizetype shownChars = 200;
    const QString text = reply.text();
    return QString::number(reply.status) + QStringLiteral(" - ") +
           (text.size() > shownChars ? text.left(shownChars) + QStringLiteral("...") : text);
}

QString cutError(const QString& key)
{
    return QStringLiteral("The reply is too short to hold a value after \"%1\"").arg(key);
}

QString lampColourName(quint32 colour)
{
    switch (colour) {
    case 65280:
        return QStringLiteral("GREEN");
    case 65535:
        return QStringLiteral("YELLOW");
    case 255:
        return QStringLiteral("RED");
    case 16711935:
        return QStringLiteral("MAGENTA");
    default:
        return QString();
    }
}

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

ServerClient::ServerClient(Frmgrading& w)
    : m_w(w)
{
    const StationEnvironment& env = m_w.environment();
    m_limits.connectTimeout = env.connectTimeout;
    m_limits.totalTimeout = env.requestTimeout;
    m_limits.caBundle = env.caBundle;
    m_limits.proxy = env.proxy;
    if (m_w.Command15)
        connect(m_w.Command15, &QPushButton::clicked, this, [this] { Command15_Click(); });
    if (m_w.cmdGetRequest)
        connect(m_w.cmdGetRequest, &QPushButton::clicked, this, [this] { TestServerGet(); });
    if (m_w.cmdPostRequest)
        connect(m_w.cmdPostRequest, &QPushButton::clicked, this, [this] { Login(); });
    if (m_w.Command14)
        connect(m_w.Command14, &QPushButton::clicked, this, [this] {
            Login();
            GenerateLotCode();
        });
    if (m_w.Command13)
        connect(m_w.Command13, &QPushButton::clicked, this, [this] { UploadRegistrationScan(); });
}

QString ServerClient::veloraBase() const
{
    return stationState().ServerMode == 1 ? m_w.environment().lanUrl : m_w.environment().cloudUrl;
}

QString ServerClient::loginBase() const
{
    return stationState().ServerMode == 1 ? m_w.environment().lanLoginUrl : m_w.environment().cloudUrl;
}

RequestBodies::Station ServerClient::station() const
{
    const StationState& s = stationState();
    return {s.UserName, s.ProgramVersion.toText(), s.OpusVersion.toText()};
}

QString ServerClient::bearer() const
{
    return QStringLiteral("Bearer ") + stationState().AuthToken;
}

std::optional<QString> ServerClient::CutAfterKey(const QString& reply, const QString& key, int skip, int drop)
{
    return ReplyText::cutAfterKey(reply, key, skip, drop);
}

std::optional<QString> ServerClient::cutReply(const QString& reply, const QString& key, int skip, int drop)
{
    // The reply field is a display; the cut works on the whole reply, which a long reply would
    // not survive in a single-line box.
    m_w.Text10->setText(reply);
    auto value = CutAfterKey(reply, key, skip, drop);
    if (value)
        m_w.Text20->setText(*value);
    return value;
}

void ServerClient::report(const QString& text)
{
    m_lastReport = text;
    m_w.setMsg1(text);
}

void ServerClient::showDataDialog(const QString& text)
{
    MsgBox_& box = MsgBox_::instance();
    box.centreOver(m_w.frameGeometry());
    box.ShowMessage(text, 4, dataDialogTitle);
}

QString ServerClient::spectrumFilePath() const
{
    const StationState& s = stationState();
    return s.DataFolder.toText() + QStringLiteral("\\") + s.SpectrumFileName;
}

QString ServerClient::diskPath(const QString& path)
{
#ifdef _WIN32
    return path;
#else
    QString unixPath = path;
    return unixPath.replace(u'\\', u'/');
#endif
}

bool ServerClient::CheckServerStatus()
{
    HttpRequest request(m_limits);
    const HttpReply reply =
        request.send("GET", veloraBase() + statusPath, {{"Content-Type", json}, {"Accept", json}},
                     RequestBodies::serverStatus(m_w.Text8->text()));
    if (!reply.completed) {
        m_lastError = reply.error;
        m_w.setMsg(QStringLiteral(
            "Critical Error: - Either Internet is Not working or VELORA Server is not reacheable"));
        return false;
    }
    if (reply.status == 200) {
        m_w.setMsg(QStringLiteral("Response: ") + reply.text());
        return true;
    }
    m_w.setMsg(QStringLiteral("Error: - VELORA Server is not reacheable or Internet is Not working or "));
    return false;
}

void ServerClient::Command15_Click()
{
    if (!CheckServerStatus())
        m_w.showSystemMessage(QStringLiteral("INTERNET oR VELORA Server is not recheable"),
                              QStringLiteral("Connectivity Issue"));
}

void ServerClient::TestServerGet()
{
    HttpRequest request(m_limits);
    const HttpReply reply = request.send("GET", veloraBase(), {{"Accept", json}});
    if (!reply.completed) {
        m_lastError = reply.error;
        m_w.setMsg(QString());
        return;
    }
    m_w.setMsg(QStringLiteral("Response from GET request: \r\n") + reply.text());
}

void ServerClient::Login()
{
    HttpRequest request(m_limits);
    const HttpReply reply =
        request.send("POST", loginBase() + loginPath, {{"Content-Type", json}, {"Accept", json}},
                     RequestBodies::login(stationState().CompanyCode));
    if (!reply.completed) {
        m_lastError = reply.error;
        m_w.setMsg(QString());
        return;
    }
    const QString text = reply.text();
    const auto token = cutReply(text, QStringLiteral("Token"), 8, 2);
    if (!token) {
        m_lastError = cutError(QStringLiteral("Token"));
        m_w.setMsg(text);
        return;
    }
    if (!ReplyText::isAcceptableToken(*token)) {
        m_lastError = QStringLiteral("The login token holds control characters");
        m_w.setMsg(text);
        return;
    }
    stationState().AuthToken = *token;
}

bool ServerClient::GenerateLotCode()
{
    const QString errorPrefix = QStringLiteral("Error in LotCode: ");
    StationState& s = stationState();
    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_w.setMsg(errorPrefix + description);
        s.IdReady = 0;
        return false;
    };
    HttpRequest request(m_limits);
    const HttpReply reply =
        request.send("POST", veloraBase() + lotCodePath,
                     {{"Content-Type", json}, {"Accept", json}, {"Authorization", bearer().toUtf8()}},
                     RequestBodies::lotCode(m_w.Text8->text()));
    if (!reply.completed)
        return fail(reply.error);
    const auto value = cutReply(reply.text(), QStringLiteral("Table"), 8, 2);
    if (!value)
        return fail(cutError(QStringLiteral("Table")));
    // The lot code names files and stands inside spectrometer commands.
    if (!isAcceptableLotCode(*value))
        return fail(
            QStringLiteral("The lot code \"%1\" from the server cannot name a spectrum file").arg(*value));
    s.LotCode = *value;
    s.IdReady = 1;
    m_w.setMsg(QStringLiteral("Code Generated: ") + *value);
    return true;
}

bool ServerClient::isAcceptableLotCode(const QString& lotCode)
{
    return ReplyText::isAcceptableLotCode(lotCode);
}

QString ServerClient::EncodeBase64(const QString& text)
{
    return ReplyText::encodeBase64(text);
}

ServerClient::StoneIdAnswer ServerClient::LookUpStoneId()
{
    const QString base = m_w.environment().stoneIdUrl;

    HttpRequest tokenRequest(m_limits);
    const HttpReply tokenReply =
        tokenRequest.send("POST", base + stoneIdTokenPath,
                          {{"Authorization", "Basic " + EncodeBase64(stoneIdCredentials).toLatin1()},
                           {"Content-Type", formContentType}},
                          QByteArrayLiteral("grant_type=client_credentials"));
    if (!tokenReply.completed) {
        m_lastError = tokenReply.error;
        return StoneIdAnswer::Unreachable;
    }
    QString accessToken;
    const QString tokenText = tokenReply.text();
    const QString tokenKey = QStringLiteral("\"access_token\":\"");
    const qsizetype c = tokenText.indexOf(tokenKey);
    if (c >= 0) {
        const qsizetype d = c + tokenKey.size();
        const qsizetype e = tokenText.indexOf(u'"', d);
        if (e > d)
            accessToken = tokenText.mid(d, e - d);
    }
    // Without credentials the lookup cannot answer; a token that would break the header is refused.
    if (accessToken.isEmpty()) {
        m_lastError = answerOf(tokenReply);
        return StoneIdAnswer::NoStoneId;
    }
    if (!ReplyText::isAcceptableToken(accessToken)) {
        m_lastError = QString::number(tokenReply.status) +
                      QStringLiteral(" - an access token with control characters, refused");
        return StoneIdAnswer::NoStoneId;
    }

    // The scanned text is a query value: percent-encoded so that blanks or "&" stay inside it.
    const QString address =
        base + stoneIdLookupPath + QString::fromLatin1(QUrl::toPercentEncoding(m_w.Text8->text()));
    HttpRequest lookupRequest(m_limits);
    const HttpReply lookupReply = lookupRequest.send(
        "POST", address,
        {{"Authorization", "Bearer " + accessToken.toUtf8()}, {"Content-Type", formContentType}});
    if (!lookupReply.completed) {
        m_lastError = lookupReply.error;
        return StoneIdAnswer::Unreachable;
    }
    QString stoneId;
    const QString text = lookupReply.text();
    const qsizetype member = text.indexOf(QStringLiteral("\"stoneId\""));
    if (member >= 0) {
        const qsizetype colon = text.indexOf(u':', member);
        const qsizetype open = colon >= 0 ? text.indexOf(u'"', colon + 1) : -1;
        const qsizetype close = open >= 0 ? text.indexOf(u'"', open + 1) : -1;
        if (close > open + 1)
            stoneId = text.mid(open + 1, close - open - 1);
    }
    // An empty identifier would file the stone with no identity: the scan stays in the box.
    if (stoneId.isEmpty()) {
        m_lastError = answerOf(lookupReply);
        return StoneIdAnswer::NoStoneId;
    }
    m_w.Text8->setText(stoneId);
    return StoneIdAnswer::Found;
}

void ServerClient::UploadRegistrationScan()
{
    StationState& s = stationState();
    m_lastReport.clear();
    m_outcome = {};
    m_w.setMsg(QStringLiteral("Uploading on Server......."));
    const QString path = spectrumFilePath();
    const QString fileName = path.mid(path.lastIndexOf(u'\\') + 1);
    const QString k = QString::number(s.MeasurementIndex + 1);

    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        const QString text = QStringLiteral("Error: Uploading ..[") + k + QStringLiteral("]..") + description;
        m_w.setMsg(text);
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
        m_w.setMsg(QStringLiteral("Response: ") + text);
        const QString done = QStringLiteral("Uploading ...[") + k + QStringLiteral("]....Done");
        m_w.setMsg(done);
        report(done);
        s.DataFailed = false;
    } else {
        const QString failed = QStringLiteral("Failed...[") + k + QStringLiteral("]..") +
                               QString::number(reply.status) + " - " + text;
        m_w.setMsg(failed);
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
    m_w.setMsg(QStringLiteral("Diamond Uploaded.......= ") + *value);
}

std::optional<QStringList> ServerClient::collectScanIds(QString* error)
{
    StationState& s = stationState();
    const auto n = scanCount(m_w.Text6->text());
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
    m_w.setMsg(QStringLiteral("Querying on Server......."));
    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        m_w.setMsg(QStringLiteral("Error:  ") + description);
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
        m_w.setMsg(QStringLiteral("Response: ") + text);
        s.DataFailed = false;
        return true;
    }
    m_w.setMsg(QStringLiteral("Error: ") + QString::number(reply.status) + " - " + text);
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
    m_w.setMsg(QStringLiteral("Querying on Server....... = ") + QString::number(s.MeasurementIndex));
    const QString path = spectrumFilePath();

    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        const QString text = QStringLiteral("Error: Query-Diamond ") + description;
        m_w.setMsg(text);
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
    m_w.setMsg(QStringLiteral("Query Uploaded.......= ") + *value);
}

bool ServerClient::PublishTransactionIds()
{
    StationState& s = stationState();
    m_lastReport.clear();
    m_outcome = {};
    m_w.setMsg(QStringLiteral("Querying on Server......."));
    auto fail = [&](const QString& description) {
        m_lastError = description;
        m_outcome.error = description;
        m_w.setMsg(QStringLiteral("Error: NewTransactionIDS ") + description);
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
    m_w.setMsg(QStringLiteral("publish New Added TransactionIds.......= ") + *value);
    return reply.status == 201;
}

void ServerClient::judgeQueryReply(int status, const QString& text)
{
    StationState& s = stationState();
    if (status == 201) {
        m_w.setMsg(QStringLiteral("Response: ") + text);
        s.DataFailed = false;
        return;
    }
    const QString failed = QStringLiteral("Error: ") + QString::number(status) + " - " + text;
    m_w.setMsg(failed);
    report(failed);
    showDataDialog(failed);
    s.DataFailed = true;
}

QString ServerClient::ExtractTaggedValue(const QString& page, const QString& key, bool* ok)
{
    return ReplyText::extractTaggedValue(page, key, ok);
}

void ServerClient::ReadEnvironmentPage()
{
    const QString connectionError = QStringLiteral("Scanner Connection Error.");
    HttpRequest request(m_limits);
    const HttpReply reply = request.send("GET", m_w.environment().diagPageUrl, {});
    if (!reply.completed) {
        m_lastError = reply.error;
        m_w.setMsg1(connectionError);
        return;
    }
    if (reply.status != 200) {
        m_w.setMsg1(QStringLiteral("Error: Scanner not available."));
        return;
    }
    const QString page = reply.text();
    if (page.isEmpty()) {
        m_w.setMsg1(QStringLiteral("Error: Page returned empty data."));
        return;
    }
    bool okT = false;
    bool okRh = false;
    bool okAh = false;
    const QString t = ExtractTaggedValue(page, QStringLiteral("SCRTMPCORR"), &okT);
    const QString rh = ExtractTaggedValue(page, QStringLiteral("SCRHUMREL"), &okRh);
    const QString ah = ExtractTaggedValue(page, QStringLiteral("SCRHUMABS"), &okAh);
    if (!okT || !okRh || !okAh) {
        m_lastError = QStringLiteral("A value of the diagnostics page is not closed by \"<\"");
        m_w.setMsg1(connectionError);
        return;
    }
    m_w.Label23->setText(QStringLiteral("Temp  = ") + t);
    m_w.Label24->setText(QStringLiteral("Rel-H = ") + rh);
    m_w.Label25->setText(QStringLiteral("Abs-H = ") + ah);
    StationState& s = stationState();
    s.Temperature = t;
    s.RelativeHumidity = rh;
    s.AbsoluteHumidity = ah;
}

void ServerClient::SendMachineStatus()
{
    const StationState& s = stationState();
    const RequestBodies::Station who = station();
    // One request object, and so one connection, for all six reports.
    HttpRequest request(m_limits);
    const std::vector<HttpRequest::Header> headers{
        {"Authorization", bearer().toUtf8()}, {"Content-Type", json}, {"Accept", json}};
    const QString address = veloraBase() + machineStatusPath;
    QString lastReply;

    auto report = [&](const QString& action, const QByteArray& value, const QString& label) {
        const HttpReply reply =
            request.send("POST", address, headers, RequestBodies::machineStatus(who, action, value));
        if (!reply.completed) {
            m_lastError = reply.error;
            m_w.setMsg(lastReply);
            return false;
        }
        lastReply = reply.text();
        m_w.Text10->setText(lastReply);
        m_w.setMsg(label + lastReply);
        return true;
    };

    // The numeric members carry null when the value is empty or not a number, so the body
    // stays JSON.
    if (!report(QStringLiteral("PEAK_VALUE"), JsonText::numberOrNull(s.PeakAmplitude.toText()),
                QStringLiteral("Peak Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Temperature"), JsonText::numberOrNull(s.Temperature.toText()),
                QStringLiteral("Temperature Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Relative-Humidity"), JsonText::numberOrNull(s.RelativeHumidity.toText()),
                QStringLiteral("Relative Humidity Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Absolute-Humidity"), JsonText::numberOrNull(s.AbsoluteHumidity),
                QStringLiteral("Absolute Humidity Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Status"), RequestBodies::quoted(m_w.Text11->text()),
                QStringLiteral("Machine Status ")))
        return;
    report(QStringLiteral("Machine_Status"), RequestBodies::quoted(lampColourName(m_w.Shape1->fillColor())),
           QStringLiteral("Machine Status Uploaded "));
}
