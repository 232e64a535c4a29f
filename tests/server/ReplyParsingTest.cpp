#include "server/JsonText.h"
#include "server/RequestBodies.h"
#include "server/ServerClient.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct CutCase
{
    const char* name;
    QString reply;
    QString key;
    int skip;
    int drop;
    std::optional<QString> expected;
};

class CutAfterKeyTable : public ::testing::TestWithParam<CutCase>
{
};

const QString forty = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCD");

} // namespace

TEST_P(CutAfterKeyTable, Cuts)
{
    const CutCase& c = GetParam();
    EXPECT_EQ(ServerClient::CutAfterKey(c.reply, c.key, c.skip, c.drop), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CutAfterKeyTable,
    ::testing::Values(
        CutCase{"TokenMember", QStringLiteral(R"({"Token":"abc"})"), "Token", 8, 2, QStringLiteral("abc")},
        CutCase{"TokenLastMember", QStringLiteral(R"({"user":"a","Token":"eyJ.x-y"})"), "Token", 8, 2,
                QStringLiteral("eyJ.x-y")},
        CutCase{"InsideLongerName", QStringLiteral(R"({"accessToken":"q1"})"), "Token", 8, 2,
                QStringLiteral("q1")},
        CutCase{"FirstOccurrenceWins", QStringLiteral(R"({"Token":"a","Token":"b"})"), "Token", 8, 2,
                QStringLiteral(R"(a","Token":"b)")},
        CutCase{"CaseSensitive", QStringLiteral(R"({"token":"abc"})"), "Token", 8, 2,
                QStringLiteral(R"(":"abc)")},
        CutCase{"FortyWithoutKey", forty, "Token", 8, 2, forty.mid(7, 31)},
        CutCase{"FortyWithoutIdKey", forty.toUpper(), "id", 5, 3, forty.toUpper().mid(4, 33)},
        CutCase{"Empty", QString(), "Token", 8, 2, std::nullopt},
        CutCase{"EightChars", QStringLiteral("12345678"), "Token", 8, 2, std::nullopt},
        CutCase{"NineChars", QStringLiteral("123456789"), "Token", 8, 2, QString()},
        CutCase{"KeyAtTheVeryEnd", QStringLiteral(R"({"x":1,"Token)"), "Token", 8, 2, std::nullopt},
        CutCase{"ValueExactlyDropLong", QStringLiteral(R"({"Token":"}")"), "Token", 8, 2, QString()},
        CutCase{"UploadIdWithLineFeed", QStringLiteral("{\"id\":\"S-9\"}\n"), "id", 5, 3,
                QStringLiteral("S-9")},
        CutCase{"PublishId", QStringLiteral(R"({"id":"Q-42"})"), "id", 5, 2, QStringLiteral("Q-42")},
        CutCase{"LotCode", QStringLiteral(R"({"status":"x","Table":"L-77"})"), "Table", 8, 2,
                QStringLiteral("L-77")}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

struct TagCase
{
    const char* name;
    QString page;
    QString key;
    QString expected;
    bool ok;
};

class ExtractTaggedValueTable : public ::testing::TestWithParam<TagCase>
{
};

} // namespace

TEST_P(ExtractTaggedValueTable, Extracts)
{
    const TagCase& c = GetParam();
    bool ok = !c.ok;
    EXPECT_EQ(ServerClient::ExtractTaggedValue(c.page, c.key, &ok), c.expected);
    EXPECT_EQ(ok, c.ok);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ExtractTaggedValueTable,
    ::testing::Values(
        TagCase{"Blanks", "<td ID=SCRTMPCORR> 24.8 </td>", "SCRTMPCORR", "24.8", true},
        TagCase{"LowerCase", "<td id=scrhumrel>40</td>", "SCRHUMREL", "40", true},
        TagCase{"MixedCase", "<td Id=ScrHumAbs>7.1</td>", "SCRHUMABS", "7.1", true},
        TagCase{"QuotedAttribute", "<td ID=\"SCRTMPCORR\">24.8</td>", "SCRTMPCORR", "Not Found", true},
        TagCase{"Missing", "<html></html>", "SCRTMPCORR", "Not Found", true},
        TagCase{"NoClosingTag", "<td ID=SCRTMPCORR> 24.8 ", "SCRTMPCORR", QString(), false},
        TagCase{"EmptyValue", "<td ID=SCRTMPCORR></td>", "SCRTMPCORR", "", true},
        TagCase{"TabsKept", "<td ID=SCRTMPCORR>\t24.8 </td>", "SCRTMPCORR", "\t24.8", true},
        TagCase{"FirstOfTwo", "<b ID=SCRHUMREL>1</b><b ID=SCRHUMREL>2</b>", "SCRHUMREL", "1", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LotCodeAcceptance, OrdinaryCodesPass)
{
    for (const char* code : {"VL000001", "L-77", "LOT123-7.2", "A_B#1", "ab c"})
        EXPECT_TRUE(ServerClient::isAcceptableLotCode(QString::fromUtf8(code))) << code;
}

TEST(LotCodeAcceptance, CodesThatCannotNameAFileAreRefused)
{
    for (const char* code : {"", "..", "a/b", "a\\b", "../x", "x..y", "a:b", "a*b", "a?b", "a\"b", "a'b",
                             "a<b", "a>b", "a|b", "tab\there", "nl\nx", "trailing ", "trailing.", "nul\x01"})
        EXPECT_FALSE(ServerClient::isAcceptableLotCode(QString::fromUtf8(code))) << code;
    EXPECT_FALSE(ServerClient::isAcceptableLotCode(QString(1, QChar(0))));
    EXPECT_FALSE(ServerClient::isAcceptableLotCode(QString(200, u'A')));
}

TEST(Base64, CredentialsAndPadding)
{
    EXPECT_EQ(ServerClient::EncodeBase64(QStringLiteral("Qh7TxLmR2vNpW9kZbY4sJd..:Ue3FgHt6KoP1wXz8QcVn5r..")),
              QStringLiteral("UWg3VHhMbVIydk5wVzlrWmJZNHNKZC4uOlVlM0ZnSHQ2S29QMXdYejhRY1ZuNXIuLg=="));
    EXPECT_EQ(ServerClient::EncodeBase64(QStringLiteral("a")), QStringLiteral("YQ=="));
    EXPECT_EQ(ServerClient::EncodeBase64(QStringLiteral("ab")), QStringLiteral("YWI="));
    // One byte per character in the single-byte code page.
    EXPECT_EQ(ServerClient::EncodeBase64(QString(QChar(0xe9))), QStringLiteral("6Q=="));
}

TEST(PointsText, PlainTableIsCopiedWithEscapedLineBreaks)
{
    QByteArray out;
    JsonText::appendPoints(out, "1000,0.5\r\n1001,0.6\r\n");
    EXPECT_EQ(out, QByteArray(R"(1000,0.5\r\n1001,0.6\r\n)"));
}

TEST(PointsText, EverythingElseIsEscapedToValidJson)
{
    const QByteArray file("a\rb\nc\"d\\e\tf" + QByteArray(1, '\0') + "g\xe9h", 15);
    QByteArray out;
    JsonText::appendPoints(out, file);
    EXPECT_EQ(out, QByteArray(R"(a\rb\nc\"d\\e\tf\u0000g)") + "\xc3\xa9h");
    // The decoded value is the file's text, character for character.
    const QJsonDocument document = QJsonDocument::fromJson("[\"" + out + "\"]");
    ASSERT_TRUE(document.isArray());
    EXPECT_EQ(document.array().at(0).toString(), QString::fromLatin1(file));
}

TEST(JsonValues, OrdinaryValuesAreUnchangedOthersEscaped)
{
    EXPECT_EQ(JsonText::escaped(u"VEL-07 2.4.1 #x"), QByteArray("VEL-07 2.4.1 #x"));
    EXPECT_EQ(JsonText::escaped(u"say \"hi\"\\"), QByteArray(R"(say \"hi\"\\)"));
    EXPECT_EQ(JsonText::escaped(u"a\r\nb\x01"), QByteArray(R"(a\r\nb\u0001)"));
    EXPECT_EQ(JsonText::escaped(u"Temp\u00b0"), QByteArray("Temp\xc2\xb0"));
}

TEST(JsonValues, NumericPlaceholders)
{
    EXPECT_EQ(JsonText::numberOrNull(QStringLiteral("24.8")), QByteArray("24.8"));
    EXPECT_EQ(JsonText::numberOrNull(QStringLiteral("-0.5e3")), QByteArray("-0.5e3"));
    EXPECT_EQ(JsonText::numberOrNull(QStringLiteral(" 24.8 ")), QByteArray("24.8"));
    EXPECT_EQ(JsonText::numberOrNull(QStringLiteral("+3")), QByteArray("3"));
    EXPECT_EQ(JsonText::numberOrNull(QString()), QByteArray("null"));
    EXPECT_EQ(JsonText::numberOrNull(QStringLiteral("Not Found")), QByteArray("null"));
    EXPECT_EQ(JsonText::numberOrNull(QStringLiteral("24,8")), QByteArray("null"));
}

TEST(Bodies, QuotedValuesKeepTheBodyValidJson)
{
    const RequestBodies::Station station{QStringLiteral("VEL\"07"), QStringLiteral("2\\4"),
                                         QStringLiteral("8.8.4")};
    for (const QByteArray& body :
         {RequestBodies::serverStatus(QStringLiteral("a\"b")), RequestBodies::login(QStringLiteral("x\ny")),
          RequestBodies::lotCode(QStringLiteral("\\")),
          RequestBodies::registrationScan(station, QStringLiteral("n\"m"), "1,2\r\n"),
          RequestBodies::submitMainFiles({QStringLiteral("S\"1")}),
          RequestBodies::queryScan(station, QStringLiteral("q"), "1,2\r\n", QStringLiteral("L\"1"),
                                   QStringLiteral("ROUGH")),
          RequestBodies::publishTransactionIds(station, {QStringLiteral("T\\1"), QStringLiteral("T2")}),
          RequestBodies::machineStatus(station, QStringLiteral("Status"), RequestBodies::quoted("say \"x\"")),
          RequestBodies::machineStatus(station, QStringLiteral("Temperature"),
                                       JsonText::numberOrNull(QString()))}) {
        QJsonParseError error{};
        QJsonDocument::fromJson(body, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << body.constData();
    }
}
