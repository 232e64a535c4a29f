#include "quality/DataPointFile.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QString lineProblem(size_t line, const char* what)
{
    return QStringLiteral("line %1 %2").arg(line).arg(QLatin1String(what));
}

} // namespace

DataPointReading parseDataPoints(std::string_view text)
{
    DataPointReading reading;
    Spectrum& s = reading.spectrum;
    s.wavenumber.reserve(text.size() / 20);
    s.absorbance.reserve(text.size() / 20);
    const char* p = text.data();
    const char* const end = p + text.size();
    size_t line = 0;
    while (p < end) {
        ++line;
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!eol)
            eol = end;
        const char* lineEnd = eol;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        const char* q = p;
        p = eol < end ? eol + 1 : end;
        while (q < lineEnd && isBlank(*q))
            ++q;
        if (q == lineEnd)
            continue;
        double x = 0;
        double y = 0;
        auto first = std::from_chars(q, lineEnd, x);
        if (first.ec != std::errc())
            return {{}, lineProblem(line, "is not a wavenumber and an absorbance")};
        q = first.ptr;
        const char* separator = q;
        while (q < lineEnd && isBlank(*q))
            ++q;
        if (q < lineEnd && *q == ',')
            ++q;
        while (q < lineEnd && isBlank(*q))
            ++q;
        if (q == separator || q == lineEnd)
            return {{}, lineProblem(line, "holds no absorbance")};
        auto second = std::from_chars(q, lineEnd, y);
        if (second.ec != std::errc())
            return {{}, lineProblem(line, "is not a wavenumber and an absorbance")};
        q = second.ptr;
        while (q < lineEnd && isBlank(*q))
            ++q;
        if (q != lineEnd)
            return {{}, lineProblem(line, "holds more than a wavenumber and an absorbance")};
        if (!std::isfinite(x) || !std::isfinite(y))
            return {{}, lineProblem(line, "holds a number that is not finite")};
        const size_t n = s.wavenumber.size();
        if (n >= 2) {
            const bool ascending = s.wavenumber[1] > s.wavenumber[0];
            if (ascending ? !(x > s.wavenumber[n - 1]) : !(x < s.wavenumber[n - 1]))
                return {{}, lineProblem(line, "breaks the order of the wavenumbers")};
        } else if (n == 1 && x == s.wavenumber[0]) {
            return {{}, lineProblem(line, "repeats the wavenumber before it")};
        }
        s.wavenumber.push_back(x);
        s.absorbance.push_back(y);
    }
    if (s.empty())
        return {{}, QStringLiteral("holds no data points")};
    if (s.size() >= 2 && s.wavenumber[0] > s.wavenumber[1]) {
        std::reverse(s.wavenumber.begin(), s.wavenumber.end());
        std::reverse(s.absorbance.begin(), s.absorbance.end());
    }
    return reading;
}

DataPointReading readDataPointFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("cannot be opened (%1)").arg(file.errorString())};
    const QByteArray bytes = file.readAll();
    return parseDataPoints(std::string_view(bytes.constData(), size_t(bytes.size())));
}
