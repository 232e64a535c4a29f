#include "core/SiteSettings.h"

#include "core/SiteSettingValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryFile>

#include <cmath>
#include <functional>
#include <iterator>
#include <vector>

namespace {

using namespace SiteSettingValues;

const QString NotUtf8Text = QStringLiteral("is not UTF-8 (save the file as UTF-8)");

struct Key
{
    const char* section;
    const char* name;
};

constexpr Key knownKeys[] = {
    {"server", "cloud_url"},         {"server", "lan_url"},
    {"server", "lan_login_url"},     {"server", "stone_id_url"},
    {"server", "diag_page_url"},     {"server", "download_url"},
    {"server", "ca_bundle"},         {"server", "proxy"},
    {"server", "connect_timeout_s"}, {"server", "request_timeout_s"},
    {"spectrometer", "link"},        {"files", "backup_folder"},
    {"files", "journal_folder"},     {"files", "local_data_folder"},
    {"quality", "checks"},
};

// Every key: the table above and the spectrum checks' limits.
const std::vector<Key>& allKeys()
{
    static const std::vector<Key> keys = [] {
        std::vector<Key> all(std::begin(knownKeys), std::end(knownKeys));
        for (const SpectrumLimitKey& limit : spectrumLimitKeys())
            all.push_back({"quality", limit.name});
        return all;
    }();
    return keys;
}

bool knownSection(const QString& section)
{
    for (const Key& key : allKeys())
        if (section == QLatin1String(key.section))
            return true;
    return false;
}

bool knownKey(const QString& section, const QString& name)
{
    for (const Key& key : allKeys())
        if (section == QLatin1String(key.section) && name == QLatin1String(key.name))
            return true;
    return false;
}

QString keyNames(const QString& section)
{
    QStringList names;
    for (const Key& key : allKeys())
        if (section == QLatin1String(key.section))
            names << QLatin1String(key.name);
    return names.join(QStringLiteral(", "));
}

// The line without a ";" comment, which the format allows after a value or header too.
QString withoutComment(const QString& line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\'))
            ++i;
        else if (line[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (line[i] == QLatin1Char(';') && !quoted)
            return line.left(i).trimmed();
    }
    return line;
}

// The file as the format may read it: "#" remark lines blank, so that every other line keeps its number.
QByteArray withoutRemarks(const QByteArray& bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines) {
        if (line.trimmed().startsWith('#'))
            line.clear();
    }
    return lines.join('\n');
}

// The format reads a backslash as the start of an escape: "C:\data" would silently become "C:data".
bool loneBackslash(const QString& raw)
{
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != QLatin1Char('\\'))
            continue;
        if (i + 1 >= raw.size() || (raw[i + 1] != QLatin1Char('\\') && raw[i + 1] != QLatin1Char('"')))
            return true;
        ++i;
    }
    return false;
}

class Reader
{
public:
    Reader(const QString& path, const SiteSettings& defaults)
        : m_path(path)
        , m_folder(QFileInfo(path).absoluteDir())
        , m_settings(defaults)
    {
    }

    SiteSettingsReading read()
    {
        SiteSettingsReading reading;
        reading.settings = m_settings;
        if (!QFileInfo::exists(m_path))
            return reading;
        reading.fileFound = true;
        if (auto error = readFile()) {
            reading.error = error;
            return reading;
        }
        reading.settings = m_settings;
        return reading;
    }

private:
    SiteSettingsError errorAt(int line, const QString& key, const QString& problem) const
    {
        return SiteSettingsError{m_path, line, key, problem};
    }

    std::optional<SiteSettingsError> readFile()
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return errorAt(0, QString(), QStringLiteral("cannot be read (%1)").arg(file.errorString()));
        QByteArray bytes = file.readAll();
        // Editors on Windows start the file with a byte order mark; the format skips it too.
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        // Line by line, so that a byte that is not UTF-8 is named by its line (no UTF-8 sequence holds a
        // line feed). The format would read such bytes as U+FFFD: a folder nobody named.
        QStringList lines;
        QList<bool> notUtf8;
        for (const QByteArray& raw : bytes.split('\n')) {
            QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            lines << decoder.decode(raw);
            notUtf8 << decoder.hasError();
        }
        if (auto error = scan(lines, notUtf8))
            return error;

        // The format reads what the scan passed, less the "#" remarks the station allows and the format
        // does not (to it, a double quote in one takes the next lines in).
        QTemporaryFile copy;
        if (!copy.open() || copy.write(withoutRemarks(bytes)) < 0 || !copy.flush())
            return errorAt(0, QString(), QStringLiteral("cannot be read (%1)").arg(copy.errorString()));
        copy.close();
        QSettings ini(copy.fileName(), QSettings::IniFormat);
        // The format reads a section only when it is first asked for a key; its status means nothing
        // before that.
        const QStringList iniKeys = ini.allKeys();
        if (ini.status() != QSettings::NoError)
            return errorAt(0, QString(), QStringLiteral("is not in INI format"));
        // The format also ends a line at a carriage return alone: a key behind one is a line of its own
        // to it, and none to the scan.
        for (const QString& iniKey : iniKeys) {
            if (m_lines.contains(iniKey))
                continue;
            const qsizetype slash = iniKey.indexOf(QLatin1Char('/'));
            const QString label =
                slash < 0 ? iniKey : QStringLiteral("[%1] %2").arg(iniKey.left(slash), iniKey.mid(slash + 1));
            return errorAt(0, label,
                           QStringLiteral("follows a carriage return without a line feed, which the format "
                                          "takes for a line end; save the file with usual line ends"));
        }
        for (const Key& key : allKeys()) {
            const QString group = QLatin1String(key.section);
            const QString name = QLatin1String(key.name);
            const QString iniKey = group + QLatin1Char('/') + name;
            if (!ini.contains(iniKey))
                continue;
            const int line = m_lines.value(iniKey);
            const QString label = QStringLiteral("[%1] %2").arg(group, name);
            const QVariant value = ini.value(iniKey);
            if (value.typeId() != QMetaType::QString)
                return errorAt(line, label,
                               QStringLiteral("holds a comma; write the value in double quotes"));
            if (auto problem = apply(iniKey, value.toString().trimmed()))
                return errorAt(line, label, *problem);
        }
        return std::nullopt;
    }

    // The line of every key, and the faults QSettings would pass over in silence.
    std::optional<SiteSettingsError> scan(const QStringList& lines, const QList<bool>& notUtf8)
    {
        QString section;
        for (int i = 0; i < lines.size(); ++i) {
            const int number = i + 1;
            const QString line = withoutComment(lines[i].trimmed());
            if (notUtf8[i])
                return errorAt(number, labelOf(line.isEmpty() ? lines[i].trimmed() : line, section),
                               NotUtf8Text);
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            if (line.startsWith(QLatin1Char('['))) {
                if (!line.endsWith(QLatin1Char(']')))
                    return errorAt(number, line, QStringLiteral("a section header must end with ]"));
                section = line.mid(1, line.size() - 2).trimmed();
                if (!knownSection(section))
                    return errorAt(
                        number, line,
                        QStringLiteral(
                            "unknown section; known: [server], [spectrometer], [files], [quality]"));
                continue;
            }
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals < 0)
                return errorAt(number, line, QStringLiteral("is neither a section header nor key = value"));
            const QString name = line.left(equals).trimmed();
            if (section.isEmpty())
                return errorAt(number, name,
                               QStringLiteral("stands outside any section; put it under [server], "
                                              "[spectrometer], [files] or [quality]"));
            const QString label = QStringLiteral("[%1] %2").arg(section, name);
            if (!knownKey(section, name))
                return errorAt(number, label,
                               QStringLiteral("unknown key; known: %1").arg(keyNames(section)));
            const QString iniKey = section + QLatin1Char('/') + name;
            if (m_lines.contains(iniKey))
                return errorAt(number, label,
                               QStringLiteral("is set twice (first on line %1)").arg(m_lines.value(iniKey)));
            m_lines.insert(iniKey, number);
            const QString value = line.mid(equals + 1).trimmed();
            if (loneBackslash(value))
                return errorAt(number, label,
                               QStringLiteral("a backslash must be doubled (\\\\) or written as /"));
            if (auto problem = quoteProblem(value))
                return errorAt(number, label, *problem);
            if (typedValue(value))
                return errorAt(
                    number, label,
                    QStringLiteral("starts with @, which the format reads as a stored type such as "
                                   "@Variant(...) or @ByteArray(...); write @@ for a leading @"));
        }
        return std::nullopt;
    }

    // "[section] key" for a key line, the line itself otherwise.
    static QString labelOf(const QString& line, const QString& section)
    {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (section.isEmpty() || equals <= 0 || line.startsWith(QLatin1Char('[')) ||
            line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            return line;
        return QStringLiteral("[%1] %2").arg(section, line.left(equals).trimmed());
    }

    QString pathOf(const QString& value) const
    {
        return value.isEmpty() ? value : QDir::cleanPath(m_folder.absoluteFilePath(value));
    }

    std::optional<QString> apply(const QString& key, const QString& value)
    {
        const QStringList web{QStringLiteral("http"), QStringLiteral("https")};
        const auto address = [&](QString& field) -> std::optional<QString> {
            if (auto problem = urlProblem(value, web))
                return problem;
            field = value;
            return std::nullopt;
        };
        const auto base = [&](QString& field) -> std::optional<QString> {
            if (auto problem = urlProblem(value, web))
                return problem;
            if (auto problem = baseProblem(value))
                return problem;
            field = value;
            return std::nullopt;
        };
        SiteSettings& s = m_settings;
        if (key == QLatin1String("server/cloud_url"))
            return base(s.cloudUrl);
        if (key == QLatin1String("server/lan_url"))
            return base(s.lanUrl);
        if (key == QLatin1String("server/lan_login_url"))
            return base(s.lanLoginUrl);
        if (key == QLatin1String("server/stone_id_url"))
            return base(s.stoneIdUrl);
        if (key == QLatin1String("server/diag_page_url"))
            return address(s.diagPageUrl);
        if (key == QLatin1String("server/download_url"))
            return address(s.downloadUrl);
        if (key == QLatin1String("server/ca_bundle")) {
            s.caBundle = pathOf(value);
            return value.isEmpty() ? std::nullopt : caBundleProblem(s.caBundle);
        }
        if (key == QLatin1String("server/proxy")) {
            s.proxy = value;
            const QStringList proxies{QStringLiteral("http"),   QStringLiteral("https"),
                                      QStringLiteral("socks4"), QStringLiteral("socks4a"),
                                      QStringLiteral("socks5"), QStringLiteral("socks5h")};
            return value.isEmpty() ? std::nullopt : urlProblem(value, proxies);
        }
        if (key == QLatin1String("server/connect_timeout_s"))
            return secondsProblem(value, &s.connectTimeoutS);
        if (key == QLatin1String("server/request_timeout_s"))
            return secondsProblem(value, &s.requestTimeoutS);
        if (key == QLatin1String("spectrometer/link")) {
            if (value.compare(QLatin1String("dde"), Qt::CaseInsensitive) == 0) {
                s.spectrometerLink = QStringLiteral("dde");
                if (!s.ddeLinkAvailable)
                    return QStringLiteral(
                        "\"dde\" needs the station on the spectrometer's Windows workstation; "
                        "here give the bridge's host:port");
                return std::nullopt;
            }
            s.spectrometerLink = value;
            return linkProblem(value);
        }
        if (key == QLatin1String("files/backup_folder")) {
            s.backupFolder = value.isEmpty() ? s.backupFolder : pathOf(value);
            return folderProblem(s.backupFolder, false);
        }
        if (key == QLatin1String("files/journal_folder")) {
            s.journalFolder = pathOf(value);
            return folderProblem(s.journalFolder, false);
        }
        if (key == QLatin1String("quality/checks"))
            return checksProblem(value, &s.spectrumChecks.mode);
        for (const SpectrumLimitKey& limit : spectrumLimitKeys())
            if (key == QStringLiteral("quality/") + QLatin1String(limit.name))
                return limitProblem(value, limit, &s.spectrumChecks.limits);
        if (key == QLatin1String("files/local_data_folder")) {
            s.localDataFolder = pathOf(value);
            // A share that is not mounted would take the spectra somewhere nobody looks.
            return folderProblem(s.localDataFolder, true);
        }
        return std::nullopt;
    }

    QString m_path;
    QDir m_folder;
    SiteSettings m_settings;
    QHash<QString, int> m_lines;
};

} // namespace

QString SiteSettingsError::message() const
{
    QString text = QDir::toNativeSeparators(file);
    if (line > 0)
        text += QStringLiteral(", line %1").arg(line);
    if (!key.isEmpty())
        text += QStringLiteral(", %1").arg(key);
    return text + QStringLiteral(": ") + problem;
}

SiteSettingsReading readSiteSettings(const QString& path, const SiteSettings& defaults)
{
    return Reader(path, defaults).read();
}
