#pragma once

#include "quality/Spectrum.h"
#include "quality/SpectrumCheck.h"
#include "quality/SpectrumVerdict.h"

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

// The scans of the running sequence as the checks saw them: the stone's scans so far (those that
// passed and were uploaded) and the last one checked. The spectrum window shows it.
class ScanSeries : public QObject
{
    Q_OBJECT
public:
    struct Scan
    {
        int number = 0; // 1-based scan of the sequence
        QString file;   // the data point file's name
        Spectrum spectrum;
        SpectrumVerdict verdict;
    };

    // A new sequence of stone: the earlier scans are forgotten.
    void begin(const QString& stone);
    QString stone() const { return m_stone; }

    // The scan just checked; failed() follows when it did not pass.
    void setLast(Scan scan);
    const Scan* last() const { return m_last ? &*m_last : nullptr; }
    // The last scan is one of the stone's now (it passed and reached the server).
    void acceptLast();

    const std::vector<Scan>& earlier() const { return m_earlier; }
    const std::vector<ScanFeatures>& earlierFeatures() const { return m_features; }

signals:
    void changed();
    void failed();

private:
    QString m_stone;
    std::optional<Scan> m_last;
    bool m_lastAccepted = false;
    std::vector<Scan> m_earlier;
    std::vector<ScanFeatures> m_features;
};
