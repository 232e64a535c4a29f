#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the check found in one scan: its findings, each with what it means for the operator, and
// the figures they were judged on.
struct SpectrumFinding
{
    enum class Kind { Unreadable, Truncated, NoDiamondBand, Saturated, Noisy, Disagrees };
    Kind kind;
    QString figures; // the figure against its limit, for example "band 0.004 above baseline (at least 0.05)"

    QString code() const;    // "unreadable", "truncated", "no-band", "saturated", "noisy", "disagrees"
    QString message() const; // "Spectrum check: no diamond band - is the stone on the stage?"
    QString title() const;   // a few words: "No diamond band"
};

struct SpectrumFigures
{
    int points = 0;
    double from = 0; // cm-1
    double to = 0;
    double largestGap = 0;
    double bandHeight = 0;    // mean two-phonon absorbance above the baseline
    double maxAbsorbance = 0; // in the checked bands, lightly smoothed
    double flatTopWidth = 0;  // cm-1 of a top within 2 % of its maximum (maxima above 1 only)
    double noise = 0;
    std::optional<double> similarity; // with the earlier scans of the sequence
    std::optional<double> bandChange; // this scan's two-phonon band over the earlier scans'
};

struct SpectrumVerdict
{
    QString problem; // why the file could not be read; empty when it was
    std::vector<SpectrumFinding> findings;
    SpectrumFigures figures;

    bool passed() const { return findings.empty(); }
    bool has(SpectrumFinding::Kind kind) const;
    QStringList codes() const;
    // Msg1's text: each finding's message with its figures on the next line.
    QString report() const;
    // "passed" or "failed", the finding codes and the figures, rounded for reading.
    QJsonObject toJson() const;
};
