#include "quality/DataPointFile.h"
#include "SyntheticDiamond.h"
#include "quality/SpectrumCheck.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

using Kind = SpectrumFinding::Kind;

DataPointReading parse(const QByteArray& text)
{
    return parseDataPoints(std::string_view(text.constData(), size_t(text.size())));
}

TEST(DataPointFile, ReadsEverySeparatorLineEndAndOrder)
{
    const struct
    {
        const char* text;
        std::vector<double> x, y;
    } cases[] = {
        {"4000,0.5\r\n3998,0.25\r\n3996,-0.125\r\n", {3996, 3998, 4000}, {-0.125, 0.25, 0.5}},
        {"400\t1.5\n402\t2.5\n", {400, 402}, {1.5, 2.5}},
        {"  400   1E-3 \n 404 , 2.5e+00\r\n\r\n", {400, 404}, {0.001, 2.5}},
        {"3999.5, 0.1\n3998.536,0.2", {3998.536, 3999.5}, {0.2, 0.1}}, // no end of line after the last
    };
    for (const auto& c : cases) {
        const DataPointReading r = parse(c.text);
        ASSERT_TRUE(r.ok()) << c.text << ": " << r.problem.toStdString();
        EXPECT_EQ(r.spectrum.wavenumber, c.x) << c.text;
        EXPECT_EQ(r.spectrum.absorbance, c.y) << c.text;
    }
}

TEST(DataPointFile, NamesTheLineThatCannotBeRead)
{
    const struct
    {
        const char* text;
        const char* problem;
    } cases[] = {
        {"", "holds no data points"},
        {"\r\n  \r\n", "holds no data points"},
        {"4000,0.1\r\n3998\r\n", "line 2 holds no absorbance"},
        {"4000,0.1\r\n3998,0.1,7\r\n", "line 2 holds more than a wavenumber and an absorbance"},
        {"Wavenumber,Absorbance\r\n4000,0.1\r\n", "line 1 is not a wavenumber and an absorbance"},
        {"4000,0.1\r\n3998,nan\r\n", "line 2 holds a number that is not finite"},
        {"4000,0.1\r\n3998,inf\r\n", "line 2 holds a number that is not finite"},
        {"4000,0.1\r\n3998,0.1\r\n3999,0.1\r\n", "line 3 breaks the order of the wavenumbers"},
        {"400,0.1\n400,0.2\n", "line 2 repeats the wavenumber before it"},
        {"4000,0.1\r\n4000,0.1\r\n", "line 2 repeats the wavenumber before it"},
        {"4000;0.1\r\n", "line 1 holds no absorbance"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(c.text).problem.toStdString(), c.problem) << c.text;
}

// A file the software is still writing, or one cut short, never reaches the band checks.
TEST(DataPointFile, CutOrSparseFilesAreTruncated)
{
    SyntheticDiamond stone;
    const QByteArray whole = stone.dataPointFile();
    const SpectrumLimits limits;
    EXPECT_TRUE(checkSpectrum(parse(whole).spectrum, limits).passed());

    const QByteArray firstHalf = whole.left(whole.size() / 2);
    QByteArray holed;
    const QList<QByteArray> lines = whole.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (i < 400 || i > 410) // 4000 down to 3200, then a hole of 22 cm-1
            holed += lines[i] + '\n';
    SyntheticDiamond coarse = stone;
    coarse.spacing = 16;
    for (const QByteArray& text : {firstHalf, holed, coarse.dataPointFile()}) {
        const SpectrumVerdict v = checkSpectrum(parse(text).spectrum, limits);
        EXPECT_EQ(v.codes(), QStringList{QStringLiteral("truncated")}) << v.report().toStdString();
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.dpt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(whole.left(whole.size() - 1000) + "1234.5");
    file.close();
    EXPECT_EQ(checkDataPointFile(path, limits).codes(), QStringList{QStringLiteral("unreadable")});
    EXPECT_EQ(checkDataPointFile(dir.filePath(QStringLiteral("missing.dpt")), limits).codes(),
              QStringList{QStringLiteral("unreadable")});
}

// Ascending or descending, comma, tab or blanks: the same stone gives the same figures.
TEST(DataPointFile, TheFilesFormDoesNotChangeTheVerdict)
{
    SyntheticDiamond stone;
    stone.spacing = 1.929;
    const SpectrumLimits limits;
    const SpectrumVerdict reference = checkSpectrum(stone.spectrum(), limits);
    for (bool descending : {true, false})
        for (char separator : {',', '\t', ' '}) {
            stone.descending = descending;
            const SpectrumVerdict v = checkSpectrum(parse(stone.dataPointFile(separator)).spectrum, limits);
            EXPECT_TRUE(v.passed());
            EXPECT_NEAR(v.figures.bandHeight, reference.figures.bandHeight, 1e-5);
            EXPECT_NEAR(v.figures.noise, reference.figures.noise, 1e-5);
        }
}

} // namespace
