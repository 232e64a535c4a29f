#pragma once

// What the sequences of StoneWorkflows share: the texts more than one of them shows, the
// scans-per-stone bound and the guards every sequence runs under. Only for src/workflows.

#include "core/ConsoleControl.h"
#include "core/Journal.h"
#include "core/NumberText.h"
#include "core/Operator.h"
#include "core/StationState.h"
#include "workflows/StoneWorkflows.h"

#include <QString>

namespace StoneShared {

constexpr int kYes = Operator::Yes;
constexpr int kNo = Operator::No;
constexpr int kEnter = 13;

// Label colours, red in the low byte.
constexpr quint32 kWhite = 0xFFFFFF;
constexpr quint32 kGreen = 0x00FF00;

inline const QString kMoveInside = QStringLiteral("Move Inside?");
inline const QString kArmMovingInside = QStringLiteral("Arm Moving Inside");
inline const QString kStageInside = QStringLiteral("Now Stage should be inside");
inline const QString kArmMoving3 = QStringLiteral("Arm Moving ..Please wait ...   ");
inline const QString kArmMoving4 = QStringLiteral("Arm Moving ..Please wait ....   ");

// Start checks
inline const QString kNotReachable = QStringLiteral("INTERNET oR VELORA Server is not recheable");
inline const QString kConnectivityIssue = QStringLiteral("Connectivity Issue");
inline const QString kGenerateId =
    QStringLiteral("Enter ID in Scanbar & Press ENTER and generate Code first");
inline const QString kGenerateIdTitle = QStringLiteral("Generate ID First");

// Scans and their end
inline const QString kPlaceTheStone = QStringLiteral("Place the Stone......");
inline const QString kDataFailed = QStringLiteral("Data Failed");
inline const QString kAllCaptured = QStringLiteral("All Data Captured and Uploaded...");
inline const QString kErrorMessage = QStringLiteral("Error Message");
inline const QString kStepFailed = QStringLiteral("Error: ");
inline const QString kGeneratingQuery = QStringLiteral("Generating Query !!!");
inline const QString kAllDoneQuery = QStringLiteral("All Done  - QUERY_ID =  ");
inline const QString kEscapeQuery = QStringLiteral("You Pressed Escape...Abrupted Query!!!");
inline const QString kNotPublished = QStringLiteral("Query NOT published - ");
inline const QString kClosing =
    QStringLiteral("Stopped for closing the program...Stage outside, data backed up");

inline QString finishedQuery(int index)
{
    return QStringLiteral("Finished .....") + QString::number(index + 1) + QStringLiteral("...Process ");
}

// The scans-per-stone box read as the loop bound: its number, rounded half to even.
inline int scanCount(const ConsoleControl* box)
{
    const double n = NumberText::roundHalfEven(NumberText::parseLeading(box->text()));
    if (!(n > 0))
        return 0;
    return n > 10 ? 11 : static_cast<int>(n);
}

// Every stone gets its own lot code: however a sequence ends, refused or before any scan too, the
// next one needs a new stone ID entry.
struct ClearIdReadyAtEnd
{
    ClearIdReadyAtEnd() = default;
    ClearIdReadyAtEnd(const ClearIdReadyAtEnd&) = delete;
    ClearIdReadyAtEnd& operator=(const ClearIdReadyAtEnd&) = delete;
    ~ClearIdReadyAtEnd() { stationState().IdReady = 0; }
};

} // namespace StoneShared

// Marks one sequence as running; when it ends, a close the operator asked for meanwhile goes ahead.
class StoneWorkflows::Running
{
public:
    explicit Running(StoneWorkflows& owner)
        : m_owner(owner)
    {
        m_owner.m_running = true;
        emit m_owner.busyChanged(true);
    }
    ~Running()
    {
        m_owner.m_journal.endRun(QStringLiteral("No"));
        m_owner.m_running = false;
        emit m_owner.busyChanged(false);
        m_owner.closeIfRequested();
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    StoneWorkflows& m_owner;
};
