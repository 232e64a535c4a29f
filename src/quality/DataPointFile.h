#pragma once

#include "quality/Spectrum.h"

#include <QString>

#include <string_view>

// A data point file as the spectrometer software exports it: a wavenumber and an absorbance per
// line, separated by a comma, a tab or blanks; CR LF or LF; highest wavenumber first or last.
struct DataPointReading
{
    Spectrum spectrum; // ascending, whatever the file's order
    QString problem;   // empty when the file was read

    bool ok() const { return problem.isEmpty(); }
};

DataPointReading parseDataPoints(std::string_view text);
DataPointReading readDataPointFile(const QString& path);
