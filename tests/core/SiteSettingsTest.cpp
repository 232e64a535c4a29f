#include "core/SiteSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cctype>

namespace {

const char* const testCertificate = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";

class SiteSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        writeFile(QStringLiteral("ca.pem"), testCertificate);
        writeFile(QStringLiteral("empty.pem"), "");
        QDir(m_dir.path()).mkdir(QStringLiteral("certs"));
        m_defaults.cloudUrl = QStringLiteral("https://cloud.invalid");
        m_defaults.lanUrl = QStringLiteral("http://lan.invalid:8080");
        m_defaults.lanLoginUrl = QStringLiteral("http://lan.invalid:8081");
        m_defaults.stoneIdUrl = QStringLiteral("https://stoneid.invalid:8443");
        m_defaults.diagPageUrl = QStringLiteral("http://diag.invalid/config/diag_scan.htm");
        m_defaults.downloadUrl = QStringLiteral("https://cloud.invalid/download");
        m_defaults.spectrometerLink = QStringLiteral("127.0.0.1:4411");
        m_defaults.backupFolder = QStringLiteral("/home/op/Opus_bak");
    }

    QString writeFile(const QString& name, const QByteArray& text)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        return path;
    }

    // A folder as the reader gives it on this system ("/srv/x" is "C:/srv/x" on Windows).
    QString absolute(const QString& path) const { return QDir(m_dir.path()).absoluteFilePath(path); }

    SiteSettingsReading read(const QByteArray& text)
    {
        return readSiteSettings(writeFile(QStringLiteral("station.ini"), text), m_defaults);
    }

    QTemporaryDir m_dir;
    SiteSettings m_defaults;
};

TEST_F(SiteSettingsTest, MissingFileOrKeysKeepTheDefaults)
{
    const SiteSettingsReading absent =
        readSiteSettings(m_dir.filePath(QStringLiteral("none.ini")), m_defaults);
    EXPECT_FALSE(absent.fileFound);
    EXPECT_FALSE(absent.error);
    EXPECT_EQ(absent.settings.cloudUrl, m_defaults.cloudUrl);

    const SiteSettingsReading partial =
        read("; only the cloud\r\n[server]\r\ncloud_url = https://velora.example.com\r\n");
    ASSERT_FALSE(partial.error) << partial.error->message().toStdString();
    EXPECT_TRUE(partial.fileFound);
    EXPECT_EQ(partial.settings.cloudUrl, QStringLiteral("https://velora.example.com"));
    EXPECT_EQ(partial.settings.lanUrl, m_defaults.lanUrl);
    EXPECT_EQ(partial.settings.spectrometerLink, m_defaults.spectrometerLink);
    EXPECT_EQ(partial.settings.backupFolder, m_defaults.backupFolder);
    EXPECT_EQ(partial.settings.connectTimeoutS, 10);
    EXPECT_EQ(partial.settings.requestTimeoutS, 60);
    EXPECT_TRUE(partial.settings.caBundle.isEmpty());
    EXPECT_TRUE(partial.settings.proxy.isEmpty());
    EXPECT_TRUE(partial.settings.journalFolder.isEmpty());
    EXPECT_TRUE(partial.settings.localDataFolder.isEmpty());
}

TEST_F(SiteSettingsTest, EveryKeyIsRead)
{
    const SiteSettingsReading r = read("# a full file\n"
                                       "[server]\n"
                                       "cloud_url = https://velora.example.com\n"
                                       "lan_url = \"http://10.0.0.5:8080\"\n"
                                       "lan_login_url = http://10.0.0.5:8081\n"
                                       "stone_id_url = https://ids.example.com:8443\n"
                                       "diag_page_url = http://10.0.0.9/config/diag_scan.htm\n"
                                       "download_url = https://velora.example.com/download\n"
                                       "ca_bundle = ca.pem\n"
                                       "proxy = http://proxy.example.com:3128\n"
                                       "connect_timeout_s = 2.5\n"
                                       "request_timeout_s = 90\n"
                                       "\n"
                                       "[spectrometer]\n"
                                       "link = opus-pc.lan:4411\n"
                                       "[files]\n"
                                       "backup_folder = /srv/backup\n"
                                       "journal_folder = journal\n"
                                       "local_data_folder = \"certs\"\n");
    ASSERT_FALSE(r.error) << r.error->message().toStdString();
    const SiteSettings& s = r.settings;
    EXPECT_EQ(s.cloudUrl, QStringLiteral("https://velora.example.com"));
    EXPECT_EQ(s.lanUrl, QStringLiteral("http://10.0.0.5:8080"));
    EXPECT_EQ(s.lanLoginUrl, QStringLiteral("http://10.0.0.5:8081"));
    EXPECT_EQ(s.stoneIdUrl, QStringLiteral("https://ids.example.com:8443"));
    EXPECT_EQ(s.diagPageUrl, QStringLiteral("http://10.0.0.9/config/diag_scan.htm"));
    EXPECT_EQ(s.downloadUrl, QStringLiteral("https://velora.example.com/download"));
    EXPECT_EQ(s.caBundle, QDir(m_dir.path()).filePath(QStringLiteral("ca.pem"))); // beside the file
    EXPECT_EQ(s.proxy, QStringLiteral("http://proxy.example.com:3128"));
    EXPECT_DOUBLE_EQ(s.connectTimeoutS, 2.5);
    EXPECT_DOUBLE_EQ(s.requestTimeoutS, 90);
    EXPECT_EQ(s.spectrometerLink, QStringLiteral("opus-pc.lan:4411"));
    EXPECT_EQ(s.backupFolder, absolute(QStringLiteral("/srv/backup")));
    EXPECT_EQ(s.journalFolder, QDir(m_dir.path()).filePath(QStringLiteral("journal")));
    EXPECT_EQ(s.localDataFolder, QDir(m_dir.path()).filePath(QStringLiteral("certs")));
}

TEST_F(SiteSettingsTest, TheSpectrumChecksAreOffUntilASiteAsks)
{
    EXPECT_FALSE(read("[server]\n").settings.spectrumChecks.isOn());
    const SiteSettingsReading r = read("[quality]\nchecks = ask\nmax_noise = 0.02\nmax_band_change = 2\n");
    ASSERT_FALSE(r.error) << r.error->message().toStdString();
    EXPECT_TRUE(r.settings.spectrumChecks.isOn());
    EXPECT_EQ(r.settings.spectrumChecks.limits.maxNoise, 0.02);
    EXPECT_EQ(r.settings.spectrumChecks.limits.maxBandChange, 2);
    EXPECT_EQ(r.settings.spectrumChecks.limits.minBandHeight, SpectrumLimits{}.minBandHeight);
}

TEST_F(SiteSettingsTest, EmptyValuesMeanNoneOrTheDefault)
{
    const SiteSettingsReading r = read("[server]\nca_bundle =\nproxy =\n[files]\nbackup_folder =\n"
                                       "journal_folder =\nlocal_data_folder =\n");
    ASSERT_FALSE(r.error) << r.error->message().toStdString();
    EXPECT_TRUE(r.settings.caBundle.isEmpty());
    EXPECT_TRUE(r.settings.proxy.isEmpty());
    EXPECT_EQ(r.settings.backupFolder, m_defaults.backupFolder);
    EXPECT_TRUE(r.settings.journalFolder.isEmpty());
    EXPECT_TRUE(r.settings.localDataFolder.isEmpty());
}

struct BadCase
{
    const char* text;
    int line;
    const char* key;
    const char* problem; // a part of the problem's text
};

TEST_F(SiteSettingsTest, BadFilesNameTheLineTheKeyAndTheFault)
{
    const BadCase cases[] = {
        {"[server]\nclould_url = https://a.example.com\n", 2, "[server] clould_url", "unknown key"},
        {"[server]\nCloud_URL = https://a.example.com\n", 2, "[server] Cloud_URL", "unknown key"},
        {"[spectrometer]\nbackup_folder = /x\n", 2, "[spectrometer] backup_folder", "unknown key"},
        {"; c\n[sever]\ncloud_url = https://a.example.com\n", 2, "[sever]", "unknown section"},
        {"[General]\n", 1, "[General]", "unknown section"},
        {"[server\ncloud_url = https://a.example.com\n", 1, "[server", "must end with ]"},
        {"cloud_url = https://a.example.com\n", 1, "cloud_url", "outside any section"},
        {"[server]\njust some words\n", 2, "just some words", "neither"},
        {"[server]\ncloud_url = https://a.example.com\ncloud_url = https://b.example.com\n", 3,
         "[server] cloud_url", "set twice (first on line 2)"},
        {"[server]\n\n\ncloud_url = ftp://a.example.com\n", 4, "[server] cloud_url",
         "must start with http://"},
        {"[server]\nlan_url = velora-lan:8080\n", 2, "[server] lan_url", "must start with http"},
        {"[server]\nstone_id_url = https://\n", 2, "[server] stone_id_url", ""},
        {"[server]\ndiag_page_url = 10.0.0.9/config/diag_scan.htm\n", 2, "[server] diag_page_url", ""},
        {"[server]\ndownload_url =\n", 2, "[server] download_url", "is empty"},
        {"[server]\nlan_login_url = http://a b/\n", 2, "[server] lan_login_url", ""},
        {"[server]\nproxy = proxy.example.com:3128\n", 2, "[server] proxy", ""},
        {"[server]\nproxy = ftp://proxy.example.com\n", 2, "[server] proxy", "must start with"},
        {"[server]\nconnect_timeout_s = 0\n", 2, "[server] connect_timeout_s", "positive number"},
        {"[server]\nconnect_timeout_s = -5\n", 2, "[server] connect_timeout_s", "positive number"},
        {"[server]\nrequest_timeout_s = ten\n", 2, "[server] request_timeout_s", "positive number"},
        {"[server]\nrequest_timeout_s = nan\n", 2, "[server] request_timeout_s", "positive number"},
        {"[server]\nrequest_timeout_s = 1e12\n", 2, "[server] request_timeout_s", "positive number"},
        {"[server]\nca_bundle = missing.pem\n", 2, "[server] ca_bundle", "cannot be read"},
        {"[server]\nca_bundle = certs\n", 2, "[server] ca_bundle", "cannot be read"},
        {"[server]\nca_bundle = empty.pem\n", 2, "[server] ca_bundle", "no PEM certificate"},
        {"[server]\nca_bundle = C:\\certs\\ca.pem\n", 2, "[server] ca_bundle", "backslash"},
        {"[server]\ncloud_url = https://a.example.com,https://b.example.com\n", 2, "[server] cloud_url",
         "comma"},
        {"[spectrometer]\nlink = 127.0.0.1\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = :4411\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = opus-pc:0\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = opus-pc:65536\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = opus pc:4411\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = http://opus-pc:4411\n", 2, "[spectrometer] link", "host:port"},
        {"[files]\nbackup_folder = D:\\Opus_bak\n", 2, "[files] backup_folder", "backslash"},
        {"[files]\nbackup_folder = ca.pem\n", 2, "[files] backup_folder", "is a file, not a folder"},
        {"[files]\njournal_folder = ca.pem\n", 2, "[files] journal_folder", "is a file, not a folder"},
        {"[files]\nlocal_data_folder = /no/such/share\n", 2, "[files] local_data_folder", "does not exist"},
        // Time limits are milliseconds to the HTTP client, and 0 ms is no limit at all.
        {"[server]\nconnect_timeout_s = 0.0004\n", 2, "[server] connect_timeout_s", "from 0.001"},
        {"[server]\nrequest_timeout_s = 0.0009\n", 2, "[server] request_timeout_s", "from 0.001"},
        // The request path follows a base address directly.
        {"[server]\ncloud_url = https://a.example.com/\n", 2, "[server] cloud_url", "ends with /"},
        {"[server]\nlan_url = http://10.0.0.5:8080/api/\n", 2, "[server] lan_url", "ends with /"},
        {"[server]\nstone_id_url = https://ids.example.com:8443?x=1\n", 2, "[server] stone_id_url",
         "query or fragment"},
        {"[server]\nlan_login_url = http://10.0.0.5:8081#top\n", 2, "[server] lan_login_url",
         "query or fragment"},
        // What the format would take apart or join without a word.
        {"[server]\ncloud_url = \"https://q.example\" junk\n", 2, "[server] cloud_url",
         "text after its closing double quote"},
        {"[server]\ncloud_url = \"https://q.example\", \"https://r.example\"\n", 2, "[server] cloud_url",
         "text after its closing double quote"},
        {"[server]\ncloud_url = https://q.example/\"x\"\n", 2, "[server] cloud_url", "double quote inside"},
        {"[server]\ncloud_url = \"https://q.example\n", 2, "[server] cloud_url", "lacks its closing"},
        {"[server]\ncloud_url = @ByteArray(https://q.example)\n", 2, "[server] cloud_url", "starts with @"},
        {"[server]\ncloud_url = @Variant(AAAACgAAAAA=)\n", 2, "[server] cloud_url", "starts with @"},
        {"[server]\ncloud_url = \"@String(https://q.example)\"\n", 2, "[server] cloud_url", "starts with @"},
        {"[files]\nbackup_folder = @Invalid()\n", 2, "[files] backup_folder", "starts with @"},
        // An IPv6 address needs its brackets, and the port digits only.
        {"[spectrometer]\nlink = ::1:4411\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = [::1]\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = [::1]4411\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = [opus-pc]:4411\n", 2, "[spectrometer] link", "host:port"},
        {"[spectrometer]\nlink = opus-pc:+4411\n", 2, "[spectrometer] link", "host:port"},
        // A Windows editor's ANSI: the format would read the byte as U+FFFD.
        {"[files]\nbackup_folder = /srv/Donn\xe9\x65s\n", 2, "[files] backup_folder",
         "is not UTF-8 (save the file as UTF-8)"},
        {"[files]\n; caf\xe9\n", 2, "; caf\xef\xbf\xbd", "is not UTF-8 (save the file as UTF-8)"},
        {"[s\xe9rver]\n", 1, "[s\xef\xbf\xbdrver]", "is not UTF-8 (save the file as UTF-8)"},
        {"[quality]\nchecks = on\n", 2, "[quality] checks", "neither off nor ask"},
        {"[quality]\nmax_noise = 0\n", 2, "[quality] max_noise", "not a number from"},
        {"[quality]\nmin_similarity = 1.5\n", 2, "[quality] min_similarity", "not a number from"},
        {"[quality]\nmin_band_height = high\n", 2, "[quality] min_band_height", "not a number from"},
        {"[quality]\nmax_nosie = 0.02\n", 2, "[quality] max_nosie", "unknown key"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.text);
        const SiteSettingsReading r = read(c.text);
        ASSERT_TRUE(r.error);
        EXPECT_EQ(r.error->file, m_dir.filePath(QStringLiteral("station.ini")));
        EXPECT_EQ(r.error->line, c.line);
        EXPECT_EQ(r.error->key, QString::fromUtf8(c.key));
        EXPECT_TRUE(r.error->problem.contains(QString::fromUtf8(c.problem)))
            << r.error->problem.toStdString();
        const QString message = r.error->message();
        EXPECT_TRUE(message.contains(QStringLiteral("station.ini")));
        EXPECT_TRUE(message.contains(QStringLiteral("line %1").arg(c.line))) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.key)));
        // Nothing half-configured: a refused file hands back the defaults only.
        EXPECT_EQ(r.settings.cloudUrl, m_defaults.cloudUrl);
    }
}

// Lines the scan sees as one and the format as two: a carriage return without a line feed.
TEST_F(SiteSettingsTest, WhatOnlyTheFormatSeesIsRefusedToo)
{
    const SiteSettingsReading stray = read("[server]\ncloud_url = https://a.example.com\rjunk\n");
    ASSERT_TRUE(stray.error);
    EXPECT_EQ(stray.error->problem, QStringLiteral("is not in INI format"));
    EXPECT_EQ(stray.settings.cloudUrl, m_defaults.cloudUrl);

    const SiteSettingsReading hidden =
        read("[server]\ncloud_url = https://a.example.com\rproxy = http://evil.example:3128\n");
    ASSERT_TRUE(hidden.error);
    EXPECT_EQ(hidden.error->key, QStringLiteral("[server] proxy"));
    EXPECT_TRUE(hidden.error->problem.contains(QStringLiteral("carriage return")))
        << hidden.error->problem.toStdString();
    EXPECT_TRUE(hidden.settings.proxy.isEmpty());
}

struct GoodCase
{
    QByteArray text;
    QString SiteSettings::*field;
    const char* value; // as read; nullptr for a time limit
    double seconds;
};

TEST_F(SiteSettingsTest, EdgesThatAreAccepted)
{
    const GoodCase cases[] = {
        {"\xef\xbb\xbf[spectrometer]\nlink = opus-pc:4411\n", &SiteSettings::spectrometerLink, "opus-pc:4411",
         0},
        {"[spectrometer]\nlink = [::1]:4411\n", &SiteSettings::spectrometerLink, "[::1]:4411", 0},
        {"[spectrometer]\nlink = [fd00::2]:65535\n", &SiteSettings::spectrometerLink, "[fd00::2]:65535", 0},
        {"[server]\ncloud_url = https://a.example.com/api\n", &SiteSettings::cloudUrl,
         "https://a.example.com/api", 0},
        {"[server]\ndiag_page_url = http://10.0.0.9/config/diag_scan.htm?x#y\n", &SiteSettings::diagPageUrl,
         "http://10.0.0.9/config/diag_scan.htm?x#y", 0},
        {"[files]\nbackup_folder = \"/srv/Donn\xc3\xa9\x65s\"\n", &SiteSettings::backupFolder,
         "/srv/Donn\xc3\xa9\x65s", 0},
        {"[files]\nbackup_folder = /srv/a\\\"b\n", &SiteSettings::backupFolder, "/srv/a\"b", 0},
        // A double quote in a "#" remark takes the next lines into it, to the format.
        {"[server]\n# the \"cloud\ncloud_url = https://b.example.com\n# end\"\n", &SiteSettings::cloudUrl,
         "https://b.example.com", 0},
        {"[server]\nconnect_timeout_s = 0.001\n", nullptr, nullptr, 0.001},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.text.constData());
        const SiteSettingsReading r = read(c.text);
        ASSERT_FALSE(r.error) << r.error->message().toStdString();
        if (c.field)
            EXPECT_EQ(r.settings.*c.field, c.field == &SiteSettings::backupFolder
                                               ? absolute(QString::fromUtf8(c.value))
                                               : QString::fromUtf8(c.value));
        else
            EXPECT_DOUBLE_EQ(r.settings.connectTimeoutS, c.seconds);
    }
}

TEST_F(SiteSettingsTest, ARefusedFileKeepsNoneOfItsGoodLines)
{
    const SiteSettingsReading r = read("[server]\ncloud_url = https://velora.example.com\n"
                                       "proxy = http://proxy.example.com:3128\nrequest_timeout_s = 0\n");
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->line, 4);
    EXPECT_EQ(r.settings.cloudUrl, m_defaults.cloudUrl);
    EXPECT_TRUE(r.settings.proxy.isEmpty());
}

TEST_F(SiteSettingsTest, CommentsMayFollowHeadersAndValues)
{
    const SiteSettingsReading r = read("[server] ; addresses\n"
                                       "cloud_url = https://velora.example.com   ; the cloud\n"
                                       "lan_url = \"http://10.0.0.5:8080/a;b\" ; quoted\n"
                                       "  # an indented remark\n"
                                       "[spectrometer];\nlink = opus-pc:4411;\n");
    ASSERT_FALSE(r.error) << r.error->message().toStdString();
    EXPECT_EQ(r.settings.cloudUrl, QStringLiteral("https://velora.example.com"));
    EXPECT_EQ(r.settings.lanUrl, QStringLiteral("http://10.0.0.5:8080/a;b"));
    EXPECT_EQ(r.settings.spectrometerLink, QStringLiteral("opus-pc:4411"));

    const SiteSettingsReading typo =
        read("[server] ; addresses\nclould_url = https://a.example.com ; typo\n");
    ASSERT_TRUE(typo.error);
    EXPECT_EQ(typo.error->line, 2);
    EXPECT_EQ(typo.error->key, QStringLiteral("[server] clould_url"));
}

TEST_F(SiteSettingsTest, DoubledBackslashesAndQuotedCommasAreValues)
{
    const SiteSettingsReading r = read("[files]\nbackup_folder = D:\\\\Opus_bak\n[server]\ndownload_url = "
                                       "\"https://a.example.com/x?a=1,2\"\n");
    ASSERT_FALSE(r.error) << r.error->message().toStdString();
    EXPECT_TRUE(QString(r.settings.backupFolder).replace(u'\\', u'/').endsWith(QStringLiteral("D:/Opus_bak")));
    EXPECT_EQ(r.settings.downloadUrl, QStringLiteral("https://a.example.com/x?a=1,2"));
}

// "dde" is the station's own DDE: taken where the station can speak it, refused with the way out
// elsewhere.
TEST_F(SiteSettingsTest, DdeLinkOnlyWhereTheStationSpeaksDde)
{
    const SiteSettingsReading refused = read("[spectrometer]\nlink = DDE\n");
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->line, 2);
    EXPECT_TRUE(refused.error->message().endsWith(
        QStringLiteral("\"dde\" needs the station on the spectrometer's Windows workstation; here give the "
                       "bridge's host:port")))
        << refused.error->message().toStdString();
    m_defaults.ddeLinkAvailable = true;
    const SiteSettingsReading taken = read("[spectrometer]\nlink = DDE\n");
    ASSERT_FALSE(taken.error) << taken.error->message().toStdString();
    EXPECT_EQ(taken.settings.spectrometerLink, QStringLiteral("dde"));
}

// The installed example, every key switched on, is a file the station accepts.
TEST_F(SiteSettingsTest, TheExampleFileReadsCleanlyWithEveryKeySet)
{
    QFile example(QStringLiteral(STATION_INI_EXAMPLE));
    ASSERT_TRUE(example.open(QIODevice::ReadOnly)) << STATION_INI_EXAMPLE;
    QByteArray text;
    int keys = 0;
    for (QByteArray line : example.readAll().split('\n')) {
        if (line.startsWith(';') && line.size() > 1 && std::islower(static_cast<unsigned char>(line[1])) &&
            line.contains(" =")) {
            line.remove(0, 1);
            ++keys;
        }
        text += line + '\n';
    }
    EXPECT_EQ(keys, 22);
    // The Windows station's default link is its own DDE.
    m_defaults.ddeLinkAvailable = true;
    const SiteSettingsReading r = read(text);
    ASSERT_FALSE(r.error) << r.error->message().toStdString();
    EXPECT_TRUE(r.settings.cloudUrl.startsWith(QStringLiteral("http")));
    EXPECT_EQ(r.settings.connectTimeoutS, 10);
    EXPECT_EQ(r.settings.requestTimeoutS, 60);
    // The example documents the spectrum checks' own defaults.
    const SpectrumLimits defaults;
    EXPECT_FALSE(r.settings.spectrumChecks.isOn());
    for (const SpectrumLimitKey& key : spectrumLimitKeys())
        EXPECT_EQ(r.settings.spectrumChecks.limits.*key.member, defaults.*key.member) << key.name;
}

} // namespace
