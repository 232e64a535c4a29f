#include "SimSpectrometer.h"

#include <cmath>
#include <random>

namespace {

constexpr double Pi = 3.14159265358979323846;

quint64 fnv1a(const QByteArray& bytes)
{
    quint64 hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash ^= quint8(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

double gauss(double x, double centre, double width)
{
    const double d = (x - centre) / width;
    return std::exp(-0.5 * d * d);
}

} // namespace

QByteArray SimSpectrometer::spectrumFor(const QString& stoneKey, int scanIndex, ScanFault fault)
{
    // The stone: how thick it is and what its nitrogen looks like, all from its key.
    const quint64 stoneSeed = fnv1a(stoneKey.toUtf8());
    std::mt19937_64 stoneRng(stoneSeed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double thickness = 0.6 + 1.0 * unit(stoneRng);
    const double nitrogenA = 1.2 * unit(stoneRng);
    const double nitrogenB = 0.8 * unit(stoneRng) * unit(stoneRng);
    const double platelets = nitrogenB > 0.2 ? 0.3 * unit(stoneRng) : 0.02 * unit(stoneRng);
    const double plateletPosition = 1362.0 + 10.0 * unit(stoneRng);
    const double hydrogen = unit(stoneRng) < 0.4 ? 0.25 * unit(stoneRng) : 0.0;
    const double baseline = 0.03 + 0.09 * unit(stoneRng);
    const double slope = 0.00002 * (unit(stoneRng) - 0.5);
    const double phase = 2.0 * Pi * unit(stoneRng);

    // The scan: the stone turned by 45 degrees per measurement, plus detector noise.
    const double angle = phase + scanIndex * Pi / 4.0;
    const double gain = 1.0 + 0.015 * std::sin(angle);
    const double offset = 0.004 * std::cos(angle);
    std::mt19937_64 scanRng(stoneSeed ^ (0x9E3779B97F4A7C15ull * quint64(scanIndex + 1)));
    std::normal_distribution<double> noise(0.0, fault == ScanFault::Noisy ? 0.025 : 0.0015);
    std::normal_distribution<double> lightNoise(0.0, 0.00005);
    // A saturated scan: the stone so thick that its band would reach 5 (any stone), seen through the
    // instrument's stray light.
    const double saturatedPath = 5.0 / thickness;
    constexpr double StrayLight = 0.004;

    QByteArray table;
    table.reserve(3601 * 24);
    for (int i = 0; i <= 3600; ++i) {
        const double wn = 4000.0 - i;
        // Intrinsic two- and three-phonon absorption of diamond.
        double a = thickness *
                   (0.55 * gauss(wn, 1975, 40) + 0.75 * gauss(wn, 2030, 25) + 0.70 * gauss(wn, 2160, 35) +
                    0.45 * gauss(wn, 2250, 60) + 0.30 * gauss(wn, 2470, 50) + 0.12 * gauss(wn, 2650, 60) +
                    0.06 * gauss(wn, 3100, 200) + 0.04 * gauss(wn, 3650, 150));
        // Nitrogen one-phonon features: A centre, B centre, platelets; hydrogen lines.
        a += nitrogenA * (gauss(wn, 1282, 30) + 0.5 * gauss(wn, 1215, 25) + 0.4 * gauss(wn, 1093, 20));
        a += nitrogenB * (gauss(wn, 1175, 30) + 0.6 * gauss(wn, 1010, 25) + 0.35 * gauss(wn, 1332, 12));
        a += platelets * gauss(wn, plateletPosition, 6);
        a += hydrogen * (gauss(wn, 3107, 4) + 0.3 * gauss(wn, 1405, 4));
        const double stone = gain * a;
        const double base = baseline + slope * (wn - 2200.0) + offset;
        switch (fault) {
        case ScanFault::None:
        case ScanFault::Noisy:
            a = stone + base + noise(scanRng);
            break;
        case ScanFault::EmptyStage:
            // Nothing in the beam: the background's own drift and a trace of the air's CO2.
            a = 0.003 + 0.000001 * (wn - 2200.0) + 0.03 * gauss(wn, 2360, 9) + 0.025 * gauss(wn, 2337, 9) +
                noise(scanRng);
            break;
        case ScanFault::OffBeam:
            // The stone beside the beam: 5 % of the light crosses it, the holder blocks a third.
            a = -std::log10(0.05 * std::pow(10.0, -stone) + 0.95) + 0.18 + noise(scanRng);
            break;
        case ScanFault::Slipped:
            // Slipped after a turn: half of the beam passes beside the stone.
            a = -std::log10(0.5 * std::pow(10.0, -(stone + base)) + 0.5) + 0.03 + noise(scanRng);
            break;
        case ScanFault::Saturated: {
            const double light = std::pow(10.0, -(stone * saturatedPath + base));
            a = -std::log10(std::max((light + StrayLight) / (1 + StrayLight) + lightNoise(scanRng), 1e-6)) +
                noise(scanRng);
            break;
        }
        }
        table += QByteArray::number(wn, 'f', 5) + ',' + QByteArray::number(a, 'f', 6) + "\r\n";
    }
    return table;
}
