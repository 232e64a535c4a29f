#pragma once

#include <QWidget>

class ScanSeries;

// The last scan's spectrum over the stone's earlier scans of the sequence (grey), wavenumbers falling
// from left to right as the spectrometer software shows them, with the bands the checks look at.
class SpectrumPlot : public QWidget
{
    Q_OBJECT
public:
    explicit SpectrumPlot(const ScanSeries& series, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {720, 380}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ScanSeries& m_series;
};
