#pragma once

#include "quality/SpectrumLimits.h"

#include <QWidget>

class QLabel;
class ScanSeries;
class SpectrumPlot;

// A window of its own beside the console: the last scan's spectrum and what its check found, over
// the stone's earlier scans of the sequence. It opens when a check fails and from the console's F9.
class SpectrumWindow : public QWidget
{
    Q_OBJECT
public:
    SpectrumWindow(const ScanSeries& series, SpectrumCheckSettings settings, QWidget* parent = nullptr);

    // Shows the window next to console (right of it where the screen has room, else left), raised.
    void showBeside(const QWidget* console);
    // The console's key: shows the window, or hides it when it is shown.
    void toggleBeside(const QWidget* console);

    QLabel* summary() const { return m_summary; }

private:
    void refresh();

    const ScanSeries& m_series;
    SpectrumCheckSettings m_settings;
    QLabel* m_summary = nullptr;
    SpectrumPlot* m_plot = nullptr;
};
