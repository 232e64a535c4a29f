#include "SimSpectrometer.h"
#include "quality/DataPointFile.h"
#include "quality/SpectrumCheck.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

namespace {

using Fault = SimSpectrometer::ScanFault;
using Kind = SpectrumFinding::Kind;

struct Range
{
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    void add(double v)
    {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    QString text(int decimals = 3) const
    {
        return low > high ? QStringLiteral("-")
                          : QStringLiteral("%1..%2").arg(low, 0, 'f', decimals).arg(high, 0, 'f', decimals);
    }
};

struct Row
{
    int scans = 0;
    int failed = 0;
    std::map<QString, int> findings;
    Range band, maximum, flat, noise, similarity, change;
};

Spectrum scanOf(const QString& stone, int index, Fault fault)
{
    const QByteArray table = SimSpectrometer::spectrumFor(stone, index, fault);
    return parseDataPoints(std::string_view(table.constData(), size_t(table.size()))).spectrum;
}

// Every stone's six scans are measured; one scan of the sequence (the fourth, so that it has
// earlier scans to be compared with) is measured with the fault.
Row measure(Fault fault, int stones)
{
    Row row;
    const SpectrumLimits limits;
    for (int n = 0; n < stones; ++n) {
        const QString stone = QStringLiteral("LOT%1").arg(n, 4, 10, QLatin1Char('0'));
        std::vector<ScanFeatures> earlier;
        for (int i = 0; i < 6; ++i) {
            const bool faulty = fault != Fault::None && i == 3;
            if (fault != Fault::None && !faulty) {
                earlier.push_back(ScanFeatures::of(scanOf(stone, i, Fault::None)));
                continue;
            }
            const Spectrum s = scanOf(stone, i, fault);
            const SpectrumVerdict v = checkSpectrum(s, limits, earlier);
            ++row.scans;
            row.failed += v.passed() ? 0 : 1;
            for (const QString& code : v.codes())
                ++row.findings[code];
            row.band.add(v.figures.bandHeight);
            row.maximum.add(v.figures.maxAbsorbance);
            row.flat.add(v.figures.flatTopWidth);
            row.noise.add(v.figures.noise);
            if (v.figures.similarity)
                row.similarity.add(*v.figures.similarity);
            if (v.figures.bandChange)
                row.change.add(*v.figures.bandChange);
            if (v.passed())
                earlier.push_back(ScanFeatures::of(s));
        }
    }
    return row;
}

// The measurement table of the closing note: what the check finds in the simulator's scans.
TEST(SimulatedScans, GoodScansPassAndEveryFaultIsCaught)
{
    const struct
    {
        Fault fault;
        const char* name;
        Kind expected;
    } cases[] = {{Fault::None, "good", Kind::Unreadable},
                 {Fault::EmptyStage, "empty stage", Kind::NoDiamondBand},
                 {Fault::OffBeam, "off-beam", Kind::NoDiamondBand},
                 {Fault::Saturated, "saturated", Kind::Saturated},
                 {Fault::Noisy, "noisy", Kind::Noisy},
                 {Fault::Slipped, "slipped", Kind::Disagrees}};
    std::printf(
        "| scans | n | failed | findings | band height | max A | flat top cm-1 | noise | similarity | band "
        "change |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& c : cases) {
        const Row row = measure(c.fault, 60);
        QStringList findings;
        for (const auto& [code, count] : row.findings)
            findings << QStringLiteral("%1 %2").arg(code).arg(count);
        std::printf("| %s | %d | %d | %s | %s | %s | %s | %s | %s | %s |\n", c.name, row.scans, row.failed,
                    qPrintable(findings.join(QStringLiteral(", "))), qPrintable(row.band.text()),
                    qPrintable(row.maximum.text(2)), qPrintable(row.flat.text(0)),
                    qPrintable(row.noise.text(4)), qPrintable(row.similarity.text()),
                    qPrintable(row.change.text(2)));
        if (c.fault == Fault::None) {
            EXPECT_EQ(row.failed, 0) << c.name;
        } else {
            EXPECT_EQ(row.failed, row.scans) << c.name;
            const SpectrumFinding expected{c.expected, {}};
            EXPECT_EQ(row.findings.count(expected.code()) ? row.findings.at(expected.code()) : 0, row.scans)
                << c.name;
        }
    }
}

} // namespace
