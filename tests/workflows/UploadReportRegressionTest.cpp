#include "WorkflowBench.h"
#include "spectro/Spectrometer.h"
#include "workflows/Station.h"

namespace {

using UploadReportRegressionTest = WorkflowBench;

// Found by fault injection: with the link to the software gone, no spectrum was saved, the upload
// found no file and said nothing, and the registration's error dialog showed the software's last
// reply "OK". The operator is now told which spectrum is missing and that the link is down.
TEST_F(UploadReportRegressionTest, MissingSpectrumAfterTheLinkDroppedIsReported)
{
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes, [this] { bench->spectrometer().dropConnections(); });
    driver->setUnexpectedAnswer(No);
    scanStoneId(QStringLiteral("P-95"));

    const QString lot = qs(bench->server().lastLotCode());
    const QString missing = QStringLiteral("Error: No spectrum file ") +
                            sampleName(lot, 0, "-POLISH").chopped(2) + ".dpt in " + data() +
                            " - no link to the spectrometer software: ";
    ASSERT_GE(driver->asked().size(), 4);
    EXPECT_EQ(driver->asked()[2].title, "Data Failed");
    EXPECT_TRUE(bench->msg1Texts().contains(missing + bench->station().spectrometer().lastSendError()))
        << bench->msg1Texts().join("\n").toStdString();
    EXPECT_EQ(driver->asked()[3].title, "Error Message");
    EXPECT_TRUE(driver->asked()[3].message.startsWith(missing)) << driver->asked()[3].message.toStdString();
    EXPECT_TRUE(requestsTo("/diamond/UploadDiaMain").empty());
}

// A refused save on a live link names the missing spectrum without blaming the link.
TEST_F(UploadReportRegressionTest, MissingSpectrumOnALiveLinkIsReported)
{
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes, [this] { bench->spectrometer().setRefuseItems(true); });
    driver->setUnexpectedAnswer(No);
    scanStoneId(QStringLiteral("P-96"));

    const QString lot = qs(bench->server().lastLotCode());
    const QString missing = QStringLiteral("Error: No spectrum file ") +
                            sampleName(lot, 0, "-POLISH").chopped(2) + ".dpt in " + data();
    ASSERT_GE(driver->asked().size(), 4);
    EXPECT_EQ(driver->asked()[3].title, "Error Message");
    EXPECT_EQ(driver->asked()[3].message, missing);
}

} // namespace
