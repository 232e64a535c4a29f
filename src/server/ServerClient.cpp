#include "server/ServerClient.h"
#include "server/ServerClientShared.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include "core/LocalPath.h"

#include "core/NumberText.h"
#include "core/StationState.h"
#include "server/JsonText.h"
#include "server/ReplyText.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cmath>

using namespace serverclient;

ServerClient::ServerClient(StationConsole& console, Operator& op)
    : m_console(console)
    , m_model(console.model())
    , m_operator(op)
{
    const StationEnvironment& env = m_console.environment();
    m_limits.connectTimeout = env.connectTimeout;
    m_limits.totalTimeout = env.requestTimeout;
    m_limits.caBundle = env.caBundle;
    m_limits.proxy = env.proxy;
    if (m_model.Command15)
        connect(m_model.Command15, &ConsoleControl::clicked, this, [this] { Command15_Click(); });
    if (m_model.cmdGetRequest)
        connect(m_model.cmdGetRequest, &ConsoleControl::clicked, this, [this] { TestServerGet(); });
    if (m_model.cmdPostRequest)
        connect(m_model.cmdPostRequest, &ConsoleControl::clicked, this, [this] { Login(); });
    if (m_model.Command14)
        connect(m_model.Command14, &ConsoleControl::clicked, this, [this] {
            Login();
            GenerateLotCode();
        });
    if (m_model.Command13)
        connect(m_model.Command13, &ConsoleControl::clicked, this, [this] { UploadRegistrationScan(); });
}

QString ServerClient::veloraBase() const
{
    return stationState().ServerMode == 1 ? m_console.environment().lanUrl : m_console.environment().cloudUrl;
}

QString ServerClient::loginBase() const
{
    return stationState().ServerMode == 1 ? m_console.environment().lanLoginUrl : m_console.environment().cloudUrl;
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
    m_model.Text10->setText(reply);
    auto value = CutAfterKey(reply, key, skip, drop);
    if (value)
        m_model.Text20->setText(*value);
    return value;
}

void ServerClient::report(const QString& text)
{
    m_lastReport = text;
    m_model.setMsg1(text);
}

void ServerClient::showDataDialog(const QString& text)
{
    m_operator.AskOperator(text, dataDialogTitle);
}

QString ServerClient::spectrumFilePath() const
{
    const StationState& s = stationState();
    return s.DataFolder.toText() + QStringLiteral("\\") + s.SpectrumFileName;
}

QString ServerClient::diskPath(const QString& path) const
{
    return LocalPath::of(path, stationState().DataFolder.toText(), m_console.environment().localDataFolder);
}

bool ServerClient::CheckServerStatus()
{
    HttpRequest request(m_limits);
    const HttpReply reply =
        request.send("GET", veloraBase() + statusPath, {{"Content-Type", json}, {"Accept", json}},
                     RequestBodies::serverStatus(m_model.Text8->text()));
    if (!reply.completed) {
        m_lastError = reply.error;
        m_model.setMsg(QStringLiteral(
            "Critical Error: - Either Internet is Not working or VELORA Server is not reacheable"));
        return false;
    }
    if (reply.status == 200) {
        m_model.setMsg(QStringLiteral("Response: ") + reply.text());
        return true;
    }
    m_model.setMsg(QStringLiteral("Error: - VELORA Server is not reacheable or Internet is Not working or "));
    return false;
}

void ServerClient::Command15_Click()
{
    if (!CheckServerStatus())
        m_operator.showSystemMessage(QStringLiteral("INTERNET oR VELORA Server is not recheable"),
                              QStringLiteral("Connectivity Issue"));
}

void ServerClient::TestServerGet()
{
    HttpRequest request(m_limits);
    const HttpReply reply = request.send("GET", veloraBase(), {{"Accept", json}});
    if (!reply.completed) {
        m_lastError = reply.error;
        m_model.setMsg(QString());
        return;
    }
    m_model.setMsg(QStringLiteral("Response from GET request: \r\n") + reply.text());
}

void ServerClient::Login()
{
    HttpRequest request(m_limits);
    const HttpReply reply =
        request.send("POST", loginBase() + loginPath, {{"Content-Type", json}, {"Accept", json}},
                     RequestBodies::login(stationState().CompanyCode));
    if (!reply.completed) {
        m_lastError = reply.error;
        m_model.setMsg(QString());
        return;
    }
    const QString text = reply.text();
    const auto token = cutReply(text, QStringLiteral("Token"), 8, 2);
    if (!token) {
        m_lastError = cutError(QStringLiteral("Token"));
        m_model.setMsg(text);
        return;
    }
    if (!ReplyText::isAcceptableToken(*token)) {
        m_lastError = QStringLiteral("The login token holds control characters");
        m_model.setMsg(text);
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
        m_model.setMsg(errorPrefix + description);
        s.IdReady = 0;
        return false;
    };
    HttpRequest request(m_limits);
    const HttpReply reply =
        request.send("POST", veloraBase() + lotCodePath,
                     {{"Content-Type", json}, {"Accept", json}, {"Authorization", bearer().toUtf8()}},
                     RequestBodies::lotCode(m_model.Text8->text()));
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
    m_model.setMsg(QStringLiteral("Code Generated: ") + *value);
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
    const QString base = m_console.environment().stoneIdUrl;

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
        base + stoneIdLookupPath + QString::fromLatin1(QUrl::toPercentEncoding(m_model.Text8->text()));
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
    m_model.Text8->setText(stoneId);
    return StoneIdAnswer::Found;
}
