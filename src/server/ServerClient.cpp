#include "server/ServerClient.h"

#include "core/ConsoleModel.h"
#include "core/LocalPath.h"
#include "core/Operator.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "server/ReplyText.h"

namespace {

const QString dataDialogTitle = QStringLiteral("Data Not correct");

} // namespace

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
    connect(m_model.Command15, &ConsoleControl::clicked, this, [this] { Command15_Click(); });
    connect(m_model.cmdGetRequest, &ConsoleControl::clicked, this, [this] { TestServerGet(); });
    connect(m_model.cmdPostRequest, &ConsoleControl::clicked, this, [this] { Login(); });
    connect(m_model.Command14, &ConsoleControl::clicked, this, [this] {
        Login();
        GenerateLotCode();
    });
    connect(m_model.Command13, &ConsoleControl::clicked, this, [this] { UploadRegistrationScan(); });
}

QString ServerClient::veloraBase() const
{
    return stationState().ServerMode == 1 ? m_console.environment().lanUrl : m_console.environment().cloudUrl;
}

QString ServerClient::loginBase() const
{
    return stationState().ServerMode == 1 ? m_console.environment().lanLoginUrl
                                          : m_console.environment().cloudUrl;
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

bool ServerClient::isAcceptableLotCode(const QString& lotCode)
{
    return ReplyText::isAcceptableLotCode(lotCode);
}

QString ServerClient::EncodeBase64(const QString& text)
{
    return ReplyText::encodeBase64(text);
}

QString ServerClient::ExtractTaggedValue(const QString& page, const QString& key, bool* ok)
{
    return ReplyText::extractTaggedValue(page, key, ok);
}
