#pragma once

#include "quality/Spectrum.h"

#include <QByteArray>

#include <cmath>
#include <random>

// Diamond spectra made independently of the simulated spectrometer: other band positions, widths
// (Lorentz-like wings), path lengths, baselines and spacings, and the ways a measurement fails.
struct SyntheticDiamond
{
    double pathMm = 1.0;       // two-phonon maximum about 0.55 per mm
    double widthFactor = 1.0;  // band widths against the usual
    double nitrogenA = 0.5;    // one-phonon A-centre absorbance
    double nitrogenB = 0.3;    // B-centre
    double hydrogen = 0.0;     // 3107 cm-1 line
    double offset = 0.05;      // baseline
    double slopePer1000 = 0.0; // baseline change per 1000 cm-1
    double scattering = 0.0;   // baseline rising with the square of the wavenumber (rough surfaces)
    double noise = 0.0015;
    double spacing = 2.0;
    bool descending = true;
    unsigned seed = 1;
    // Failures: light passing beside the stone (0: none, 1: all of it), stray light of a saturated
    // band, an empty stage.
    double leak = 0.0;
    double strayLight = -1; // < 0: a linear detector
    bool empty = false;

    static double band(double x, double centre, double width)
    {
        // A Voigt-like profile: a Gauss core with weak Lorentz wings.
        const double d = (x - centre) / width;
        return 0.85 * std::exp(-0.5 * d * d) + 0.15 / (1 + d * d);
    }

    double stoneAt(double x) const
    {
        const double w = widthFactor;
        double twoPhonon = 0.62 * band(x, 2030, 30 * w) + 0.48 * band(x, 1985, 45 * w) +
                           0.52 * band(x, 2165, 40 * w) + 0.40 * band(x, 2250, 55 * w) +
                           0.22 * band(x, 2460, 60 * w) + 0.10 * band(x, 2630, 45 * w) +
                           0.05 * band(x, 3200, 250 * w);
        twoPhonon *= pathMm;
        const double n =
            nitrogenA * (band(x, 1282, 28 * w) + 0.45 * band(x, 1212, 22 * w) + 0.3 * band(x, 1095, 18 * w)) +
            nitrogenB * (band(x, 1175, 32 * w) + 0.55 * band(x, 1012, 22 * w) + 0.3 * band(x, 1330, 10 * w));
        const double h = hydrogen * (band(x, 3107, 3.5) + 0.25 * band(x, 1405, 3.5));
        return twoPhonon + (n + h) * pathMm;
    }

    double baseAt(double x) const
    {
        const double k = x / 4000.0;
        return offset + slopePer1000 * (x - 2200) / 1000 + scattering * k * k;
    }

    Spectrum spectrum() const
    {
        std::mt19937 rng(seed);
        std::normal_distribution<double> gaussNoise(0.0, noise);
        Spectrum s;
        const double top = 4000.0;
        const int n = int(std::floor((top - 400.0) / spacing)) + 1;
        for (int i = 0; i < n; ++i) {
            const double x = 400.0 + i * spacing;
            double a;
            if (empty) {
                a = 0.002 + 0.02 * band(x, 2349, 12) + gaussNoise(rng);
            } else {
                const double t = std::pow(10.0, -(stoneAt(x) + baseAt(x)));
                double seen = (1 - leak) * t + leak;
                if (strayLight >= 0)
                    seen = (seen + strayLight) / (1 + strayLight);
                a = -std::log10(std::max(seen, 1e-7)) + gaussNoise(rng);
            }
            s.wavenumber.push_back(x);
            s.absorbance.push_back(a);
        }
        return s;
    }

    // The file the software would export: descending or ascending, "wavenumber,absorbance" CR LF.
    QByteArray dataPointFile(char separator = ',') const
    {
        const Spectrum s = spectrum();
        QByteArray out;
        for (size_t k = 0; k < s.size(); ++k) {
            const size_t i = descending ? s.size() - 1 - k : k;
            out += QByteArray::number(s.wavenumber[i], 'f', 5) + separator +
                   QByteArray::number(s.absorbance[i], 'f', 6) + "\r\n";
        }
        return out;
    }
};
