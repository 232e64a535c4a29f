#include "SyntheticDiamond.h"
#include "quality/DataPointFile.h"
#include "quality/SpectrumCheck.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdio>

namespace {

using Kind = SpectrumFinding::Kind;

// A stone whose bands rise above this in any of its turns is too thick for its experiment: that
// is saturation, which these good stones must not show.
constexpr double MeasurableAbsorbance = 2.7;

SyntheticDiamond turned(SyntheticDiamond d, int turn);

double highestAbsorbance(const SyntheticDiamond& d)
{
    double highest = 0;
    for (int turn = 0; turn < 3; ++turn) {
        const SyntheticDiamond t = turned(d, turn);
        for (double x = 1000; x <= 3200; x += 2)
            highest = std::max(highest, t.stoneAt(x) + t.baseAt(x));
    }
    return highest;
}

// The stones and benches the limits must hold for: band widths, path lengths, nitrogen and
// hydrogen, baselines and spacings, each against each.
std::vector<SyntheticDiamond> goodStones()
{
    std::vector<SyntheticDiamond> stones;
    struct Baseline
    {
        double offset, slope, scattering;
    };
    const Baseline baselines[] = {{0.02, 0, 0}, {0.6, 0, 0}, {0.1, 0.12, 0}, {0.4, -0.1, 0}, {0.05, 0, 0.5}};
    const double nitrogen[][3] = {{1.0, 0.0, 0.0}, {0.6, 0.6, 0.3}, {0.0, 0.0, 0.0}, {0.05, 1.2, 0.0}};
    unsigned seed = 1;
    for (double width : {0.6, 1.0, 1.8})
        for (double path : {0.25, 0.6, 1.2, 2.2})
            for (const Baseline& b : baselines)
                for (const auto& n : nitrogen)
                    for (double spacing : {0.964, 1.0, 2.0, 4.0}) {
                        SyntheticDiamond d;
                        d.widthFactor = width;
                        d.pathMm = path;
                        d.offset = b.offset;
                        d.slopePer1000 = b.slope;
                        d.scattering = b.scattering;
                        d.nitrogenA = n[0];
                        d.nitrogenB = n[1];
                        d.hydrogen = n[2];
                        d.spacing = spacing;
                        d.noise = 0.0008 + 0.0022 * double(seed % 4) / 3;
                        d.seed = seed++;
                        if (highestAbsorbance(d) < MeasurableAbsorbance)
                            stones.push_back(d);
                    }
    return stones;
}

// The same stone turned: another path through it (within 20 %), another baseline, new noise.
SyntheticDiamond turned(SyntheticDiamond d, int turn)
{
    const double gains[] = {1.0, 0.85, 1.18, 0.92, 1.1, 0.8};
    d.pathMm *= gains[turn % 6];
    d.offset += 0.03 * (turn % 3) - 0.03;
    d.slopePer1000 += 0.01 * (turn % 2);
    d.seed = d.seed * 31 + unsigned(turn);
    return d;
}

QString describe(const SyntheticDiamond& d)
{
    return QStringLiteral(
               "width x%1, path %2 mm, A %3, B %4, H %5, offset %6, slope %7, scattering %8, spacing %9")
        .arg(d.widthFactor)
        .arg(d.pathMm)
        .arg(d.nitrogenA)
        .arg(d.nitrogenB)
        .arg(d.hydrogen)
        .arg(d.offset)
        .arg(d.slopePer1000)
        .arg(d.scattering)
        .arg(d.spacing);
}

TEST(SyntheticSpectra, GoodStonesPassEveryCheckAndTheirTurnsAgree)
{
    const SpectrumLimits limits;
    double lowestBand = HUGE_VAL, widestTop = 0, lowestSimilarity = 1, highestMax = 0;
    int failures = 0;
    for (const SyntheticDiamond& stone : goodStones()) {
        std::vector<ScanFeatures> earlier;
        for (int turn = 0; turn < 3; ++turn) {
            const Spectrum s = turned(stone, turn).spectrum();
            const SpectrumVerdict v = checkSpectrum(s, limits, earlier);
            lowestBand = std::min(lowestBand, v.figures.bandHeight);
            widestTop = std::max(widestTop, v.figures.flatTopWidth);
            highestMax = std::max(highestMax, v.figures.maxAbsorbance);
            if (v.figures.similarity)
                lowestSimilarity = std::min(lowestSimilarity, *v.figures.similarity);
            if (!v.passed() && ++failures <= 12)
                ADD_FAILURE() << describe(turned(stone, turn)).toStdString() << " turn " << turn << ": "
                              << v.report().toStdString();
            earlier.push_back(ScanFeatures::of(s));
        }
    }
    EXPECT_EQ(failures, 0);
    std::printf(
        "good synthetic stones: %zu x 3 turns; lowest band %.3f, highest absorbance %.2f, widest top %.0f "
        "cm-1, lowest similarity %.3f\n",
        goodStones().size(), lowestBand, highestMax, widestTop, lowestSimilarity);
}

TEST(SyntheticSpectra, EachFailureIsFoundWhateverTheStone)
{
    const SpectrumLimits limits;
    struct Case
    {
        const char* name;
        std::vector<Kind> expected; // any of these
        std::function<void(SyntheticDiamond&)> spoil;
    };
    const Case cases[] = {
        {"empty stage", {Kind::NoDiamondBand}, [](SyntheticDiamond& d) { d.empty = true; }},
        {"beside the beam", {Kind::NoDiamondBand}, [](SyntheticDiamond& d) { d.leak = 0.96; }},
        {"saturated, 0.3 % stray light",
         {Kind::Saturated},
         [](SyntheticDiamond& d) {
             d.pathMm = 7;
             d.strayLight = 0.003;
         }},
        {"saturated, 1 % stray light",
         {Kind::Saturated},
         [](SyntheticDiamond& d) {
             d.pathMm = 7;
             d.strayLight = 0.01;
         }},
        {"clipped at 3.5",
         {Kind::Saturated},
         [](SyntheticDiamond& d) {
             d.pathMm = 6;
             d.strayLight = 0.0002;
         }},
        {"noisy", {Kind::Noisy}, [](SyntheticDiamond& d) { d.noise = 0.03; }},
        {"slipped", {Kind::Disagrees, Kind::NoDiamondBand}, [](SyntheticDiamond& d) { d.leak = 0.5; }},
    };
    for (const Case& c : cases) {
        double narrowestTop = HUGE_VAL;
        double lowestMax = HUGE_VAL;
        int missed = 0;
        const std::vector<SyntheticDiamond> stones = goodStones();
        // Every third stone: still every width, path, baseline and nitrogen.
        for (size_t i = 0; i < stones.size(); i += 3) {
            const SyntheticDiamond& stone = stones[i];
            std::vector<ScanFeatures> earlier{ScanFeatures::of(stone.spectrum()),
                                              ScanFeatures::of(turned(stone, 1).spectrum())};
            SyntheticDiamond bad = turned(stone, 2);
            c.spoil(bad);
            const SpectrumVerdict v = checkSpectrum(bad.spectrum(), limits, earlier);
            const bool found =
                std::any_of(c.expected.begin(), c.expected.end(), [&](Kind k) { return v.has(k); });
            narrowestTop = std::min(narrowestTop, v.figures.flatTopWidth);
            lowestMax = std::min(lowestMax, v.figures.maxAbsorbance);
            if (!found && ++missed <= 3)
                ADD_FAILURE() << c.name << ": " << describe(bad).toStdString() << " gave "
                              << v.codes().join(',').toStdString() << " " << v.report().toStdString()
                              << " band " << v.figures.bandHeight << " sim "
                              << v.figures.similarity.value_or(-1) << " change "
                              << v.figures.bandChange.value_or(-1);
        }
        EXPECT_EQ(missed, 0) << c.name;
        std::printf("%s: narrowest flat top %.0f cm-1, lowest maximum %.2f\n", c.name, narrowestTop,
                    lowestMax);
    }
}

} // namespace
