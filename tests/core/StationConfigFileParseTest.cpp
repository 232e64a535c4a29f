#include "core/StationConfigFile.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <random>

namespace {

using StationConfigFile::Values;

QByteArray bytes(const char* text)
{
    return QByteArray(text);
}

// The values of a file as the console would typically leave it.
QByteArray typicalFile()
{
    return QByteArrayLiteral(
        "\"3\"\r\n\"300\"\r\n\"300\"\r\n\"50\"\r\n\"320\"\r\n\"320\"\r\n\"50\"\r\n\"15\"\r\n"
        "\"6\"\r\n\"C:\\Data\\Spectra\"\r\n2\r\n\"POLISH.XPM\"\r\n\"STONE-0042\"\r\n1200\r\n"
        "400\r\n4\r\n\"ZENTI\"\r\n\"qtx\"\r\n8000\r\n5300\r\n1\r\n1\r\n0\r\n\"A2-123\"\r\n"
        "30\r\n\"9.1.4\"\r\n");
}

struct ValueCase
{
    QByteArray content;
    StoredValue expected;
    const char* label;
};

class FirstValueTest : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(FirstValueTest, ReadsFormAndContent)
{
    const Values values = StationConfigFile::parse(GetParam().content);
    EXPECT_EQ(values[0], GetParam().expected) << GetParam().label << ": got form " << int(values[0].form())
                                              << " " << values[0].toText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, FirstValueTest,
    ::testing::Values(
        ValueCase{bytes("300\r\n"), StoredValue(300), "bare number"},
        ValueCase{bytes("\"300\"\r\n"), StoredValue("300"), "quoted number is text"},
        ValueCase{bytes("   12.5\r\n"), StoredValue(12.5), "leading spaces skipped"},
        ValueCase{bytes("3   \r\n"), StoredValue(3), "trailing spaces dropped"},
        ValueCase{bytes("-7"), StoredValue(-7), "no line end at the end"},
        ValueCase{bytes("abc\r\n"), StoredValue("abc"), "bare text"},
        ValueCase{bytes("1 2\r\n"), StoredValue("1 2"), "not a whole number"},
        ValueCase{bytes("1e400\r\n"), StoredValue("1e400"), "too large for a number"},
        ValueCase{bytes("\"a,b\"\r\n"), StoredValue("a,b"), "comma inside quotes"},
        ValueCase{bytes("\" \"\r\n"), StoredValue(" "), "one blank stays a blank"},
        ValueCase{bytes("\"\"\r\n"), StoredValue(""), "empty quotes give the empty text"},
        ValueCase{bytes("  \"x\"  \r\n"), StoredValue("x"), "spaces around quotes"},
        ValueCase{bytes("\r\n"), StoredValue(), "empty line"},
        ValueCase{bytes("   \r\n"), StoredValue(), "blank line"},
        ValueCase{bytes(""), StoredValue(), "empty file"},
        ValueCase{bytes("#TRUE#\r\n"), StoredValue(true), "boolean true"},
        ValueCase{bytes("#FALSE#\r\n"), StoredValue(false), "boolean false"},
        ValueCase{bytes("\"#TRUE#\"\r\n"), StoredValue("#TRUE#"), "quoted boolean is text"},
        ValueCase{bytes("\"say \"\"hi\"\"\"\r\n"), StoredValue("say \"hi\""), "doubled quotes"},
        ValueCase{bytes("\"a\"b\"\r\n"), StoredValue("a\"b"), "unescaped quote kept"},
        ValueCase{bytes("\"a\" b\"\r\n"), StoredValue("a\" b"), "unescaped quote and blank"},
        ValueCase{bytes("ab\"c\r\n"), StoredValue("ab\"c"), "quote inside a bare value"},
        ValueCase{bytes("\"two\r\nlines\"\r\n"), StoredValue("two\r\nlines"), "line end quoted"},
        ValueCase{bytes("\"open,\r\n5\r\n"), StoredValue("open,\r\n5\r\n"), "unterminated"},
        ValueCase{bytes("\xe9t\xe9\r\n"), StoredValue(QStringLiteral(u"\u00e9t\u00e9")), "Latin-1 bytes"},
        ValueCase{bytes("\xef\xbb\xbf\"3\"\r\n"), StoredValue("3"), "byte order mark before a text"},
        ValueCase{bytes("\xef\xbb\xbf 300\r\n"), StoredValue(300), "byte order mark before a number"},
        ValueCase{bytes("\xef\xbb\xbf\"\xe9\"\r\n"), StoredValue(QStringLiteral(u"\u00e9")),
                  "byte order mark on a Windows-1252 file"}));

TEST(StationConfigFileParse, CommasAndEveryLineEndSeparateValues)
{
    const Values v = StationConfigFile::parse(bytes("1,2, 3\r\n4\n5\r6\r\n"));
    const Values expected{StoredValue(1), StoredValue(2), StoredValue(3),
                          StoredValue(4), StoredValue(5), StoredValue(6)};
    EXPECT_EQ(v, expected);
}

TEST(StationConfigFileParse, NothingBetweenSeparatorsIsEmpty)
{
    const Values v = StationConfigFile::parse(bytes("a,\r\n,b\n\r\"c\""));
    EXPECT_EQ(v[0], StoredValue("a"));
    EXPECT_TRUE(v[1].isEmpty());
    EXPECT_TRUE(v[2].isEmpty());
    EXPECT_EQ(v[3], StoredValue("b"));
    EXPECT_TRUE(v[4].isEmpty()); // LF then CR are two line ends
    EXPECT_EQ(v[5], StoredValue("c"));
    EXPECT_TRUE(v[6].isEmpty());
}

TEST(StationConfigFileParse, TypicalFileKeepsEachForm)
{
    const Values v = StationConfigFile::parse(typicalFile());
    EXPECT_EQ(v[0], StoredValue("3"));
    EXPECT_EQ(v[9], StoredValue("C:\\Data\\Spectra"));
    EXPECT_EQ(v[10], StoredValue(2));
    EXPECT_EQ(v[13], StoredValue(1200));
    EXPECT_EQ(v[15], StoredValue(4));
    EXPECT_EQ(v[20], StoredValue(1));
    EXPECT_EQ(v[25], StoredValue("9.1.4"));
}

TEST(StationConfigFileParse, ShortFileLeavesTheMissingValuesEmpty)
{
    QByteArray twenty;
    for (int i = 1; i <= 20; ++i)
        twenty += QByteArray::number(i) + "\r\n";
    const Values v = StationConfigFile::parse(twenty);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(v[i], StoredValue(i + 1)) << i;
    for (int i = 20; i < 26; ++i)
        EXPECT_TRUE(v[i].isEmpty()) << i;
}

TEST(StationConfigFileParse, ValuesBeyondTheTwentySixthAreIgnored)
{
    QByteArray content;
    for (int i = 1; i <= 40; ++i)
        content += QByteArray::number(i) + ",";
    const Values v = StationConfigFile::parse(content);
    EXPECT_EQ(v[25], StoredValue(26));
}

TEST(StationConfigFileSerialize, EachFormHasItsLine)
{
    Values v;
    v[0] = StoredValue("3");
    v[1] = StoredValue(12.5);
    v[2] = StoredValue(-400);
    v[4] = StoredValue("say \"hi\", then go");
    v[5] = StoredValue(true);
    v[6] = StoredValue(false);
    v[7] = StoredValue(" ");
    v[8] = StoredValue(QStringLiteral(u"caf\u00e9 \u03a9"));
    v[9] = StoredValue(1e20);
    QByteArray expected = "\"3\"\r\n12.5\r\n-400\r\n\r\n\"say \"\"hi\"\", then go\"\r\n#TRUE#\r\n#FALSE#\r\n"
                          "\" \"\r\n\"caf\xe9 ?\"\r\n1E+20\r\n";
    for (int i = 10; i < 26; ++i)
        expected += "\r\n";
    EXPECT_EQ(StationConfigFile::serialize(v), expected);
}

TEST(StationConfigFileSerialize, TypicalFileRewritesByteForByte)
{
    const QByteArray original = typicalFile();
    EXPECT_EQ(StationConfigFile::serialize(StationConfigFile::parse(original)), original);
}

TEST(StationConfigFileSerialize, FirstRewriteNormalisesThenStaysStable)
{
    const QByteArray loose = bytes("  1.50 ,\"a\"\"b\"  ,x\ny\r#true#\r\n");
    const QByteArray once = StationConfigFile::serialize(StationConfigFile::parse(loose));
    EXPECT_EQ(once.left(29), QByteArray("1.5\r\n\"a\"\"b\"\r\n\"x\"\r\n\"y\"\r\n#TRUE#"));
    EXPECT_EQ(StationConfigFile::serialize(StationConfigFile::parse(once)), once);
    EXPECT_EQ(StationConfigFile::parse(once), StationConfigFile::parse(loose));
}

TEST(StationConfigFileSerialize, QuotesCommasAndLineEndsInTextsRoundTrip)
{
    const char* texts[] = {"\"", "\"\"", "a\"",    "\"a", "a\",b", "a\" ,\"b", "\",\"", "x\r\ny",
                           "\r", " \" ", "#TRUE#", "12",  ",",     "\"\r\n\"", "end\" "};
    for (const char* text : texts) {
        Values v;
        v[0] = StoredValue(text);
        v[1] = StoredValue(7);
        v[25] = StoredValue(text);
        const QByteArray written = StationConfigFile::serialize(v);
        const Values back = StationConfigFile::parse(written);
        EXPECT_EQ(back, v) << text;
        EXPECT_EQ(StationConfigFile::serialize(back), written) << text;
    }
}

// Random values of every form survive a write and a read, and the rewrite is byte for byte.
TEST(StationConfigFileSerialize, RandomValuesRoundTrip)
{
    std::mt19937 rng(20240611);
    const char alphabet[] = "ab ,\"\r\n#.-+e0123456789\xe9\x01";
    for (int round = 0; round < 500; ++round) {
        Values v;
        for (StoredValue& value : v) {
            switch (rng() % 4) {
            case 0:
                break;
            case 1:
                value = StoredValue(std::ldexp(double(int(rng())), int(rng() % 200) - 100));
                break;
            case 2:
                value = StoredValue(bool(rng() % 2));
                break;
            default: {
                QByteArray text;
                const int length = int(rng() % 12);
                for (int i = 0; i < length; ++i)
                    text += alphabet[rng() % (sizeof(alphabet) - 1)];
                value = StoredValue(QString::fromLatin1(text));
            }
            }
        }
        const QByteArray written = StationConfigFile::serialize(v);
        const Values back = StationConfigFile::parse(written);
        ASSERT_EQ(back, v) << written.toStdString();
        ASSERT_EQ(StationConfigFile::serialize(back), written);
    }
}

TEST(StationConfigFilePath, FileNameBesideTheProgram)
{
    EXPECT_EQ(StationConfigFile::path(QStringLiteral("/opt/velora")),
              QStringLiteral("/opt/velora/d_VELORA.txt"));
}

class StationConfigFileHostileInput : public ::testing::Test
{
protected:
    // Parses, checks the result rewrites stably, and returns the time taken.
    qint64 parseAndCheck(const QByteArray& content)
    {
        QElapsedTimer timer;
        timer.start();
        const Values v = StationConfigFile::parse(content);
        const qint64 elapsed = timer.elapsed();
        const QByteArray written = StationConfigFile::serialize(v);
        EXPECT_EQ(StationConfigFile::parse(written), v);
        return elapsed;
    }

    // Far above linear time for 10 MB, far below what quadratic time would take.
    static constexpr qint64 LimitMs = 5000;
};

TEST_F(StationConfigFileHostileInput, LineOfOneHundredThousandCharacters)
{
    const QByteArray digits(100000, '9');
    EXPECT_LT(parseAndCheck(digits + "\r\n5\r\n"), LimitMs);
    const Values v = StationConfigFile::parse(digits + "\r\n5\r\n");
    EXPECT_EQ(v[0], StoredValue(QString::fromLatin1(digits))); // beyond the double range: a text
    EXPECT_EQ(v[1], StoredValue(5));

    const QByteArray quoted = "\"" + QByteArray(100000, 'x') + "\"\r\n\"y\"";
    const Values q = StationConfigFile::parse(quoted);
    EXPECT_EQ(q[0].toText().size(), 100000);
    EXPECT_EQ(q[1], StoredValue("y"));
}

TEST_F(StationConfigFileHostileInput, TenMegabytesOfPathologicalPatterns)
{
    const qsizetype size = 10 * 1024 * 1024;
    const QByteArray patterns[] = {QByteArray(size, ' '),
                                   QByteArray(size, '"'),
                                   QByteArray(size, ','),
                                   QByteArray(size, '\r'),
                                   QByteArray(size, '7'),
                                   "\"" + QByteArray("\" ").repeated(size / 2),
                                   "\"" + QByteArray("\"\"").repeated(size / 2),
                                   QByteArray("1e").repeated(size / 2),
                                   QByteArray(" \"").repeated(size / 2)};
    for (const QByteArray& content : patterns)
        EXPECT_LT(parseAndCheck(content), LimitMs) << content.left(8).toStdString();
}

TEST_F(StationConfigFileHostileInput, BinaryGarbage)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        QByteArray garbage(64 * 1024, '\0');
        for (char& c : garbage)
            c = char(rng() & 0xff);
        parseAndCheck(garbage);
    }
}

TEST_F(StationConfigFileHostileInput, TruncatedInsideAQuote)
{
    const QByteArray full = StationConfigFile::serialize(
        StationConfigFile::parse(bytes("\"3\"\r\n\"300\"\r\n\"a long, quoted \"\"value\"\"\"\r\n42\r\n")));
    for (qsizetype cut = 0; cut <= full.size(); ++cut) {
        const Values v = StationConfigFile::parse(full.left(cut));
        EXPECT_EQ(StationConfigFile::parse(StationConfigFile::serialize(v)), v) << cut;
    }
    const Values cutInQuote = StationConfigFile::parse(full.left(20));
    EXPECT_EQ(cutInQuote[0], StoredValue("3"));
    EXPECT_EQ(cutInQuote[1], StoredValue("300"));
    EXPECT_EQ(cutInQuote[2], StoredValue("a long,")); // unterminated: the rest is the text
    EXPECT_TRUE(cutInQuote[3].isEmpty());
}

} // namespace
