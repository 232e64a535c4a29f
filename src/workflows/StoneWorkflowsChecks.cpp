#include "workflows/StoneWorkflowsShared.h"

#include "core/ConsoleModel.h"
#include "core/LocalPath.h"
#include "core/StationConsole.h"

#include <utility>

using namespace StoneShared;

namespace {

const QString kMeasureAgain = QStringLiteral("Spectrum check failed - measure again ?");
const QString kUploadAnyway = QStringLiteral("Spectrum check failed - upload it anyway ?");

} // namespace

void StoneWorkflows::beginScanChecks()
{
    if (m_console.environment().spectrumChecks.isOn())
        m_scans.begin(m_model.Text8->text());
}

StoneWorkflows::AfterCheck StoneWorkflows::checkSavedScan(bool canMeasureAgain)
{
    const StationEnvironment& env = m_console.environment();
    if (!env.spectrumChecks.isOn())
        return AfterCheck::Upload;
    const StationState& s = stationState();
    const QString folder = s.DataFolder.toText();
    ScanSeries::Scan scan;
    scan.number = s.MeasurementIndex + 1;
    scan.file = s.SpectrumFileName;
    scan.verdict = checkDataPointFile(
        LocalPath::of(folder + QStringLiteral("\\") + s.SpectrumFileName, folder, env.localDataFolder),
        env.spectrumChecks.limits, m_scans.earlierFeatures(), &scan.spectrum);
    const SpectrumVerdict verdict = scan.verdict;
    m_scanCheck = verdict.toJson();
    m_scans.setLast(std::move(scan));
    if (verdict.passed())
        return AfterCheck::Upload;

    const QString title = verdict.findings.front().title();
    m_model.setMsg1(verdict.report());
    if (!canMeasureAgain) {
        const bool upload = m_operator.AskOperator(kUploadAnyway, title) == kYes;
        m_scanCheck.insert(QStringLiteral("answer"),
                           upload ? QStringLiteral("uploaded as it is") : QStringLiteral("run stopped"));
        if (!upload) {
            m_uploadReport = verdict.report();
            journalCheckedScan();
        }
        return upload ? AfterCheck::Upload : AfterCheck::Stop;
    }
    // As after a refused upload: the stone comes out for the operator to look at and set right.
    retractAndWait(kArmMoving4);
    m_model.setMsg1(verdict.report());
    const bool again = m_operator.AskOperator(kMeasureAgain, title) == kYes;
    if (stopRequested()) {
        // Escape or a close meanwhile: the stage stays out and the sequence stops at its next check.
        m_scanCheck.insert(QStringLiteral("answer"), QStringLiteral("stopped"));
        journalCheckedScan();
        return AfterCheck::Repeat;
    }
    moveInside();
    m_scanCheck.insert(QStringLiteral("answer"),
                       again ? QStringLiteral("measured again") : QStringLiteral("uploaded as it is"));
    if (!again)
        return AfterCheck::Upload;
    // Not uploaded: its record holds the files and the check alone.
    journalCheckedScan();
    return AfterCheck::Repeat;
}

void StoneWorkflows::journalCheckedScan()
{
    m_journal.record(QStringLiteral("scan"),
                     {{QStringLiteral("scan"), stationState().MeasurementIndex + 1},
                      {QStringLiteral("files"), Journal::describeFiles(spectrumFiles())},
                      {QStringLiteral("check"), std::exchange(m_scanCheck, {})}});
}

void StoneWorkflows::addScanCheck(QJsonObject& scanRecord)
{
    if (!m_scanCheck.isEmpty())
        scanRecord.insert(QStringLiteral("check"), std::exchange(m_scanCheck, {}));
}
