#include "core/HostPort.h"

#include <QUrl>

namespace {

std::optional<quint16> portOf(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    uint port = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        port = port * 10 + uint(c.unicode() - '0');
    }
    if (port == 0 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

bool isIpv6Address(const QString& text)
{
    if (!text.contains(QLatin1Char(':')))
        return false;
    QUrl url;
    url.setHost(QLatin1Char('[') + text + QLatin1Char(']'), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

} // namespace

std::optional<HostPort> parseHostPort(const QString& text)
{
    QString host;
    QStringView rest;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        if (!isIpv6Address(host))
            return std::nullopt;
        rest = QStringView(text).mid(close + 1);
    } else {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon < 0 || text.indexOf(QLatin1Char(':'), colon + 1) >= 0)
            return std::nullopt;
        host = text.left(colon);
        rest = QStringView(text).mid(colon);
        if (host.isEmpty() || host.contains(QLatin1Char('/')) || host.contains(QLatin1Char(' ')) ||
            host.contains(QLatin1Char('\t')))
            return std::nullopt;
    }
    if (!rest.startsWith(QLatin1Char(':')))
        return std::nullopt;
    const auto port = portOf(rest.mid(1));
    if (!port)
        return std::nullopt;
    return HostPort{host, *port};
}
