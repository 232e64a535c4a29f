#include "SimSpectrometer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<std::pair<double, double>> points(const QByteArray& table)
{
    std::vector<std::pair<double, double>> result;
    for (const QByteArray& line : table.split('\n')) {
        if (line.isEmpty())
            continue;
        EXPECT_TRUE(line.endsWith('\r'));
        const QList<QByteArray> parts = line.trimmed().split(',');
        EXPECT_EQ(parts.size(), 2);
        result.emplace_back(parts[0].toDouble(), parts[1].toDouble());
    }
    return result;
}

double rmsDifference(const QByteArray& a, const QByteArray& b)
{
    const auto pa = points(a);
    const auto pb = points(b);
    double sum = 0;
    for (size_t i = 0; i < pa.size(); ++i)
        sum += (pa[i].second - pb[i].second) * (pa[i].second - pb[i].second);
    return std::sqrt(sum / double(pa.size()));
}

double meanOver(const std::vector<std::pair<double, double>>& p, double from, double to)
{
    double sum = 0;
    int n = 0;
    for (const auto& [wn, a] : p)
        if (wn >= from && wn <= to) {
            sum += a;
            ++n;
        }
    return sum / n;
}

TEST(SimSpectrum, TableRunsFrom4000To400AtOneWavenumber)
{
    const auto p = points(SimSpectrometer::spectrumFor(QStringLiteral("LC1"), 0));
    ASSERT_EQ(p.size(), 3601u);
    EXPECT_DOUBLE_EQ(p.front().first, 4000.0);
    EXPECT_DOUBLE_EQ(p.back().first, 400.0);
    for (size_t i = 1; i < p.size(); ++i)
        ASSERT_NEAR(p[i - 1].first - p[i].first, 1.0, 1e-9);
}

TEST(SimSpectrum, TwoPhononBandStandsAboveTheHighWavenumberBaseline)
{
    for (const char* key : {"LC1", "LC2", "ZX-99"}) {
        const auto p = points(SimSpectrometer::spectrumFor(QString::fromLatin1(key), 0));
        EXPECT_GT(meanOver(p, 1950, 2200) - meanOver(p, 3800, 4000), 0.2) << key;
    }
}

TEST(SimSpectrum, SameStoneIsDeterministicAndScansDifferALittle)
{
    const QByteArray first = SimSpectrometer::spectrumFor(QStringLiteral("LC1"), 0);
    EXPECT_EQ(first, SimSpectrometer::spectrumFor(QStringLiteral("LC1"), 0));
    const double sameStone = rmsDifference(first, SimSpectrometer::spectrumFor(QStringLiteral("LC1"), 3));
    EXPECT_GT(sameStone, 0.0);
    for (const char* other : {"LC2", "LC10", "AB"}) {
        const double otherStone =
            rmsDifference(first, SimSpectrometer::spectrumFor(QString::fromLatin1(other), 0));
        EXPECT_GT(otherStone, 3 * sameStone) << other;
    }
}

TEST(SimSpectrum, StoneKeyIsTheLotCode)
{
    EXPECT_EQ(SimSpectrometer::stoneKeyFor(QStringLiteral("LC7781-101-ROUGH.0")), QStringLiteral("LC7781"));
    EXPECT_EQ(SimSpectrometer::stoneKeyFor(QStringLiteral("AB-CD-1003-POLISHED.0")), QStringLiteral("AB-CD"));
    EXPECT_EQ(SimSpectrometer::stoneKeyFor(QStringLiteral("-101-ROUGH.0")), QString());
    EXPECT_EQ(SimSpectrometer::stoneKeyFor(QStringLiteral("plain.0")), QStringLiteral("plain"));
}

TEST(SimSpectrometerPaths, WindowsPathsLandUnderTheDataRoot)
{
    SimSpectrometer sim(0, QStringLiteral("/srv/root"));
    EXPECT_EQ(sim.localPath(QStringLiteral("c:\\test\\zenti.3")), QStringLiteral("/srv/root/C/test/zenti.3"));
    EXPECT_EQ(sim.localPath(QStringLiteral("/data/x\\L-101-ROUGH.0")),
              QStringLiteral("/data/x/L-101-ROUGH.0"));
    EXPECT_EQ(sim.localPath(QStringLiteral("rel\\a.dpt")), QStringLiteral("/srv/root/rel/a.dpt"));
}

} // namespace
