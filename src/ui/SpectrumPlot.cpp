#include "ui/SpectrumPlot.h"

#include "quality/ScanSeries.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double Left = 4000;
constexpr double Right = 400;
constexpr int MarginLeft = 52;
constexpr int MarginRight = 14;
constexpr int MarginTop = 26;
constexpr int MarginBottom = 34;

struct Band
{
    Region region;
    const char* label;
    QColor colour;
};

const Band Bands[] = {
    {DiamondBands::OnePhonon, "N one-phonon", QColor(90, 140, 220, 50)},
    {DiamondBands::TwoPhonon, "two-phonon", QColor(70, 180, 90, 45)},
    {DiamondBands::TwoPhononStrong, "", QColor(70, 180, 90, 45)},
    {DiamondBands::Hydrogen, "H", QColor(200, 120, 220, 80)},
    {DiamondBands::NoiseWindow, "noise", QColor(220, 170, 60, 50)},
};

// A step of 1, 2 or 5 times a power of ten, about span / 5.
double tickStep(double span)
{
    const double raw = span / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

} // namespace

SpectrumPlot::SpectrumPlot(const ScanSeries& series, QWidget* parent)
    : QWidget(parent)
    , m_series(series)
{
    setObjectName(QStringLiteral("SpectrumPlot"));
    setMinimumSize(480, 260);
    connect(&series, &ScanSeries::changed, this, qOverload<>(&QWidget::update));
}

void SpectrumPlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(250, 250, 250));
    const QRect area(MarginLeft, MarginTop, width() - MarginLeft - MarginRight,
                     height() - MarginTop - MarginBottom);

    std::vector<const ScanSeries::Scan*> shown;
    const ScanSeries::Scan* last = m_series.last();
    for (const ScanSeries::Scan& scan : m_series.earlier())
        if (!last || scan.number != last->number)
            shown.push_back(&scan);
    if (last)
        shown.push_back(last);

    double low = 0;
    double high = 1;
    bool first = true;
    for (const ScanSeries::Scan* scan : shown)
        for (size_t i = 0; i < scan->spectrum.size(); ++i) {
            const double a = scan->spectrum.absorbance[i];
            low = first ? a : std::min(low, a);
            high = first ? a : std::max(high, a);
            first = false;
        }
    if (high - low < 0.05)
        high = low + 0.05;
    const double pad = (high - low) * 0.06;
    low -= pad;
    high += pad;
    const auto xOf = [&](double w) { return area.left() + (Left - w) / (Left - Right) * area.width(); };
    const auto yOf = [&](double a) { return area.bottom() - (a - low) / (high - low) * area.height(); };

    // The checked bands and their names.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    for (const Band& band : Bands) {
        const double x0 = xOf(band.region.to);
        const double x1 = xOf(band.region.from);
        p.fillRect(QRectF(x0, area.top(), x1 - x0, area.height()), band.colour);
        if (*band.label) {
            p.setPen(QColor(60, 60, 60));
            p.drawText(QRectF(x0 - 30, area.top() - 18, x1 - x0 + 60, 16), Qt::AlignCenter,
                       QLatin1String(band.label));
        }
    }

    // Axes with their ticks.
    p.setPen(QColor(120, 120, 120));
    p.drawRect(area);
    for (double w = 4000; w >= 400; w -= 400) {
        const double x = xOf(w);
        p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        p.drawText(QRectF(x - 30, area.bottom() + 5, 60, 14), Qt::AlignCenter, QString::number(int(w)));
    }
    p.drawText(QRectF(area.left(), area.bottom() + 18, area.width(), 14), Qt::AlignCenter,
               tr("wavenumber (cm-1)"));
    const double step = tickStep(high - low);
    for (double a = std::ceil(low / step) * step; a <= high; a += step) {
        const double y = yOf(a);
        p.drawLine(QPointF(area.left() - 4, y), QPointF(area.left(), y));
        p.drawText(QRectF(0, y - 7, MarginLeft - 6, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(a, 'g', 3));
    }
    p.save();
    p.translate(12, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-60, -8, 120, 16), Qt::AlignCenter, tr("absorbance"));
    p.restore();

    if (shown.empty()) {
        p.setPen(QColor(90, 90, 90));
        p.drawText(area, Qt::AlignCenter, tr("No scan checked yet"));
        return;
    }
    p.setClipRect(area);
    p.setRenderHint(QPainter::Antialiasing);
    for (const ScanSeries::Scan* scan : shown) {
        QPainterPath path;
        const Spectrum& s = scan->spectrum;
        for (size_t i = 0; i < s.size(); ++i) {
            const QPointF point(xOf(s.wavenumber[i]), yOf(s.absorbance[i]));
            if (i == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        const bool isLast = scan == last;
        const QColor colour = !isLast                  ? QColor(170, 170, 170)
                              : scan->verdict.passed() ? QColor(20, 120, 40)
                                                       : QColor(200, 30, 30);
        p.setPen(QPen(colour, isLast ? 1.6 : 1.0));
        p.drawPath(path);
    }
}
