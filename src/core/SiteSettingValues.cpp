#include "core/SiteSettingValues.h"

#include "core/HostPort.h"

#include <QFileInfo>
#include <QUrl>

#include <cmath>

namespace {

// A day: far beyond any sensible request, and small enough for milliseconds in a long.
constexpr double maxSeconds = 86400;
// Time limits are kept in milliseconds, and 0 ms means no limit at all to the HTTP client.
constexpr double minSeconds = 0.001;

} // namespace

namespace SiteSettingValues {

std::optional<QString> checksProblem(const QString& value, SpectrumCheckSettings::Mode* mode)
{
    if (value == QLatin1String("off"))
        *mode = SpectrumCheckSettings::Mode::Off;
    else if (value == QLatin1String("ask"))
        *mode = SpectrumCheckSettings::Mode::Ask;
    else
        return QStringLiteral("\"%1\" is neither off nor ask").arg(value);
    return std::nullopt;
}

std::optional<QString> limitProblem(const QString& value, const SpectrumLimitKey& key, SpectrumLimits* limits)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < key.minimum || number > key.maximum)
        return QStringLiteral("\"%1\" is not a number from %2 to %3")
            .arg(value)
            .arg(key.minimum)
            .arg(key.maximum);
    limits->*key.member = number;
    return std::nullopt;
}

// QSettings joins what stands around double quotes without a word ("a" b reads as ab, a"b"c as abc),
// and an unclosed one takes the next lines into the value.
std::optional<QString> quoteProblem(const QString& value)
{
    QList<qsizetype> quotes;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\'))
            ++i;
        else if (value[i] == QLatin1Char('"'))
            quotes << i;
    }
    if (quotes.isEmpty())
        return std::nullopt;
    if (quotes.first() != 0)
        return QStringLiteral("a double quote inside a value must be written \\\" (or put the whole value in "
                              "double quotes)");
    if (quotes.size() < 2)
        return QStringLiteral("lacks its closing double quote");
    if (quotes.size() > 2 || quotes[1] != value.size() - 1)
        return QStringLiteral("has text after its closing double quote; put the whole value in the quotes");
    return std::nullopt;
}

// QSettings reads a value that starts with @ as a stored type (@Variant(...), @ByteArray(...),
// @String(...)) and drops one @ of @@.
bool typedValue(const QString& value)
{
    const QString unquoted = value.startsWith(QLatin1Char('"')) ? value.mid(1) : value;
    return unquoted.startsWith(QLatin1Char('@')) && !unquoted.startsWith(QStringLiteral("@@"));
}

std::optional<QString> urlProblem(const QString& value, const QStringList& schemes)
{
    if (value.isEmpty())
        return QStringLiteral("is empty; leave the line out to keep the default");
    const QUrl url(value, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return QStringLiteral("\"%1\" is not an address such as %2://host").arg(value, schemes.first());
    if (!schemes.contains(url.scheme()))
        return QStringLiteral("\"%1\" must start with %2")
            .arg(value, schemes.join(QStringLiteral("://, ")) + QStringLiteral("://"));
    if (url.host().isEmpty())
        return QStringLiteral("\"%1\" names no host").arg(value);
    return std::nullopt;
}

// The request paths are appended to a base address as they are: "/getServerStatus" after a closing
// "/" or after a query would not reach the endpoint.
std::optional<QString> baseProblem(const QString& value)
{
    const QUrl url(value, QUrl::StrictMode);
    if (url.hasQuery() || url.hasFragment())
        return QStringLiteral("\"%1\" carries a query or fragment (? or #); a base address is followed by "
                              "the request path")
            .arg(value);
    if (value.endsWith(QLatin1Char('/')))
        return QStringLiteral("\"%1\" ends with /; the request paths start with one, so leave it out")
            .arg(value);
    return std::nullopt;
}

std::optional<QString> linkProblem(const QString& value)
{
    if (!parseHostPort(value))
        return QStringLiteral("\"%1\" is not host:port (for example 127.0.0.1:4411, or [::1]:4411 for an "
                              "IPv6 address)")
            .arg(value);
    return std::nullopt;
}

std::optional<QString> secondsProblem(const QString& value, double* seconds)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < minSeconds || number > maxSeconds)
        return QStringLiteral("\"%1\" is not a positive number of seconds from %2 (a millisecond) to %3")
            .arg(value)
            .arg(minSeconds)
            .arg(maxSeconds);
    *seconds = number;
    return std::nullopt;
}

std::optional<QString> caBundleProblem(const QString& path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("\"%1\" cannot be read").arg(path);
    if (!file.readAll().contains("-----BEGIN CERTIFICATE-----"))
        return QStringLiteral("\"%1\" holds no PEM certificate").arg(path);
    return std::nullopt;
}

// Folders the station creates when missing may be absent, but never a file.
std::optional<QString> folderProblem(const QString& path, bool mustExist)
{
    if (path.isEmpty())
        return std::nullopt;
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return QStringLiteral("\"%1\" is a file, not a folder").arg(path);
    if (mustExist && !info.exists())
        return QStringLiteral("the folder \"%1\" does not exist (is the share mounted?)").arg(path);
    return std::nullopt;
}

} // namespace SiteSettingValues
