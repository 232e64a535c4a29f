#include "server/ServerClient.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "server/ReplyText.h"
#include "server/ServerClientShared.h"

#include <QUrl>

using ServerClientShared::cutError;
using ServerClientShared::json;

namespace {

const QString statusPath = QStringLiteral("/getServerStatus");
const QString loginPath = QStringLiteral("/api/account/velora-login");
const QString lotCodePath = QStringLiteral("/diamond/generateLotCode");
const QString stoneIdTokenPath = QStringLiteral("/ords/morvex14/oauth/token");
const QString stoneIdLookupPath = QStringLiteral("/ords/morvex14/morvexapp/get_stoneid?p_brid=BR001&p_bcno=");
const QString stoneIdCredentials = QStringLiteral("Qh7TxLmR2vNpW9kZbY4sJd..:Ue3FgHt6KoP1wXz8QcVn5r..");
const QByteArray formContentType = QByteArrayLiteral("application/x-www-form-urlencoded");

// What a service answered, for a message line: status and the start of the reply.
QString answerOf(const HttpReply& reply)
{
    constexpr qsizetype shownChars = 200;
    const QString text = reply.text();
    return QString::number(reply.status) + QStringLiteral(" - ") +
           (text.size() > shownChars ? text.left(shownChars) + QStringLiteral("...") : text);
}

} // namespace

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
        // The value field shows the token the requests go on with, not the one refused.
        m_model.Text20->setText(stationState().AuthToken);
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
