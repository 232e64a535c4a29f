#include "quality/ScanSeries.h"

void ScanSeries::begin(const QString& stone)
{
    m_stone = stone;
    m_last.reset();
    m_lastAccepted = false;
    m_earlier.clear();
    m_features.clear();
    emit changed();
}

void ScanSeries::setLast(Scan scan)
{
    m_last = std::move(scan);
    m_lastAccepted = false;
    emit changed();
    if (!m_last->verdict.passed())
        emit failed();
}

void ScanSeries::acceptLast()
{
    if (!m_last || m_lastAccepted || !m_last->verdict.passed())
        return;
    m_lastAccepted = true;
    m_features.push_back(ScanFeatures::of(m_last->spectrum));
    m_earlier.push_back(*m_last);
    emit changed();
}
