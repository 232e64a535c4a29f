#include "WineBridge.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// The link is UTF-8 both ways; the double, an ANSI program like the software, receives and answers in
// the workstation's code page, Wine's default 1252 here.
class BridgeTextTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString reason = WineBridge::unavailableReason();
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
        ASSERT_TRUE(wine.startBridge()) << wine.error().toStdString();
        ASSERT_TRUE(client.connectTo(wine.port()));
        ASSERT_EQ(client.transact("CONNECT OPUS|System"), "OK\n");
    }

    WineBridge wine;
    LinkClient client;
};

struct TextCase
{
    const char* name;
    QByteArray line;     // as the station sends it
    QByteArray answer;   // the bridge's answer
    QByteArray received; // what the double received, in code page 1252; empty: nothing
};

TEST_F(BridgeTextTest, TextsAreConvertedOrRefusedNeverChanged)
{
    const QByteArray longAccented = QByteArray("\xc3\xa9").repeated(255);
    const std::vector<TextCase> cases{
        {"accented_path",
         "EXECUTE C:\\Donn\xc3\xa9"
         "es",
         "OK\n",
         "EXECUTE C:\\Donn\xe9"
         "es"},
        {"euro_sign_is_0x80", "EXECUTE \xe2\x82\xac 5", "OK\n", "EXECUTE \x80 5"},
        {"not_in_the_code_page", "EXECUTE C:\\\xe4\xb8\xad",
         "ERROR Character U+4E2D (\xe4\xb8\xad) is not in the workstation's code page 1252; not sent\n", ""},
        // Windows would send a plain "a" for it unless told not to approximate.
        {"best_fit_refused", "REQUEST \xc4\x81",
         "ERROR Character U+0101 (\xc4\x81) is not in the workstation's code page 1252; not sent\n", ""},
        {"beyond_the_basic_plane", "REQUEST \xf0\x9f\x98\x80",
         "ERROR Character U+1F600 (\xf0\x9f\x98\x80) is not in the workstation's code page 1252; not sent\n",
         ""},
        {"control_named_by_number", "EXECUTE \xc2\x85",
         "ERROR Character U+0085 is not in the workstation's code page 1252; not sent\n", ""},
        {"invalid_byte", "REQUEST A\xff", "ERROR Not UTF-8 at byte 2 (0xFF); not sent\n", ""},
        {"overlong", "REQUEST \xc0\xaf", "ERROR Not UTF-8 at byte 1 (0xC0); not sent\n", ""},
        {"cut_short", "EXECUTE caf\xc3", "ERROR Not UTF-8 at byte 4 (0xC3); not sent\n", ""},
        {"surrogate", "REQUEST \xed\xa0\x80", "ERROR Not UTF-8 at byte 1 (0xED); not sent\n", ""},
        {"nul", QByteArray("EXECUTE a\0b", 11),
         "ERROR Character U+0000 cannot be sent in a DDE text; not sent\n", ""},
        // Item names are limited in characters, not in UTF-8 bytes.
        {"item_of_255_accented", "REQUEST " + longAccented, "OK 23\nERROR Unknown command\r\n",
         "REQUEST " + QByteArray("\xe9").repeated(255)},
        {"item_of_256_accented", "REQUEST " + longAccented + "\xc3\xa9",
         "ERROR Item longer than 255 characters: not a DDE item name\n", ""},
    };
    for (const TextCase& c : cases) {
        const qsizetype before = wine.recordedBytes().size();
        EXPECT_EQ(client.transact(c.line), c.answer) << c.name;
        const QByteArray received = wine.recordedBytes().mid(before);
        EXPECT_EQ(received, c.received.isEmpty() ? QByteArray() : c.received + "\n") << c.name;
    }
}

TEST_F(BridgeTextTest, MeasurementInAnAccentedFolderRoundTrips)
{
    const QString folder = wine.folder() + QStringLiteral("/Donn\u00e9es");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray measure =
        "MeasureSample (0, {EXP='ROUGH.XPM', NAM='LOT7-101.0' ,PTH='" + folder.toUtf8() + "'})";
    EXPECT_EQ(client.transact("ADVISE " + measure), "OK\n");
    EXPECT_EQ(client.take(), "NOTIFY " + measure + "\n");
    // The software's answer names the folder in its code page; the station reads it in UTF-8, and the
    // byte count is that of what is sent.
    const QByteArray reply = "OK\r\n1\r\n" + folder.toUtf8() + "\\LOT7-101.0, 1 AB\r\n";
    EXPECT_EQ(client.transact("REQUEST " + measure), "OK " + QByteArray::number(reply.size()) + "\n" + reply);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/LOT7-101.0")));
    // é is 0xE9 in code page 1252 as in Latin-1.
    EXPECT_TRUE(wine.recordedBytes().contains(
        "ADVISE MeasureSample (0, {EXP='ROUGH.XPM', NAM='LOT7-101.0' ,PTH='" + folder.toLatin1() + "'})\n"));
}

} // namespace
