#include "ui/SpectrumWindow.h"
#include "quality/ScanSeries.h"
#include "quality/SpectrumCheck.h"
#include "quality/SyntheticDiamond.h"
#include "ui/SpectrumPlot.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

// Three turns of a stone checked and accepted, then a fourth that slipped half out of the beam.
void fill(ScanSeries& series)
{
    series.begin(QStringLiteral("LOT2026-7.2"));
    SyntheticDiamond stone;
    stone.pathMm = 1.1;
    stone.hydrogen = 0.2;
    const SpectrumLimits limits;
    for (int turn = 0; turn < 4; ++turn) {
        SyntheticDiamond scan = stone;
        scan.seed = unsigned(turn + 1);
        scan.offset += 0.02 * turn;
        if (turn == 3)
            scan.leak = 0.5;
        ScanSeries::Scan s;
        s.number = turn + 1;
        s.file = QStringLiteral("L-10%1-POLISH.dpt").arg(turn + 1);
        s.spectrum = scan.spectrum();
        s.verdict = checkSpectrum(s.spectrum, limits, series.earlierFeatures());
        series.setLast(std::move(s));
        series.acceptLast();
    }
}

int pixelsLike(const QImage& image, const QColor& colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                             std::abs(c.blue() - colour.blue()) <
                         40
                     ? 1
                     : 0;
        }
    return n;
}

TEST(SpectrumWindow, ShowsTheFailedScanOverTheEarlierOnesBesideTheConsole)
{
    ScanSeries series;
    SpectrumCheckSettings settings;
    settings.mode = SpectrumCheckSettings::Mode::Ask;
    SpectrumWindow window(series, settings);
    int failures = 0;
    QObject::connect(&series, &ScanSeries::failed, [&failures] { ++failures; });
    fill(series);
    EXPECT_EQ(failures, 1);
    ASSERT_EQ(series.earlier().size(), 3u) << "the slipped scan is not one of the stone's";

    QWidget console;
    console.setGeometry(40, 40, 400, 300);
    console.show();
    window.showBeside(&console);
    ASSERT_TRUE(window.isVisible());
    // Beside, not over it, where the screen has room (the offscreen screen is small; Xvfb's is not).
    if (console.screen()->availableGeometry().width() >= 1300) {
        EXPECT_GE(window.frameGeometry().left(), console.frameGeometry().right());
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("VELORA - Spectrum - scan 4"));
    const QString summary = window.summary()->text();
    EXPECT_TRUE(
        summary.contains(QStringLiteral("Stone LOT2026-7.2, scan 4 (L-104-POLISH.dpt): check FAILED, 3 "
                                        "earlier scan(s) in grey")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(
        QStringLiteral("Spectrum check: unlike the earlier scans - has the stone slipped?")));

    const QImage image = window.grab().toImage();
    const QString png = QDir::current().filePath(QStringLiteral("spectrum-window.png"));
    EXPECT_TRUE(image.save(png));
    std::printf("screenshot: %s\n", qPrintable(png));
    EXPECT_GT(pixelsLike(image, QColor(200, 30, 30)), 300) << "the failed scan in red";
    EXPECT_GT(pixelsLike(image, QColor(170, 170, 170)), 300) << "the earlier scans in grey";

    // The console's key hides it, and shows it again.
    window.toggleBeside(&console);
    EXPECT_FALSE(window.isVisible());
    window.toggleBeside(&console);
    EXPECT_TRUE(window.isVisible());
}

TEST(SpectrumWindow, SaysSoWhenTheChecksAreOff)
{
    ScanSeries series;
    SpectrumWindow window(series, SpectrumCheckSettings{});
    EXPECT_EQ(window.summary()->text(),
              QStringLiteral("Spectrum checks are off ([quality] checks in station.ini)."));
}

} // namespace
