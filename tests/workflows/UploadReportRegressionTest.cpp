#include "WorkflowBench.h"
#include "app/Station.h"
#include "spectro/Spectrometer.h"

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

// The dialog carries the upload's last word: an accepted reply whose id cannot be read is the error
// shown, not the "Done" written before it.
TEST_F(UploadReportRegressionTest, AcceptedReplyWithoutAnIdIsTheReportedError)
{
    selectMode(true, w().Polish1);
    SimFault noId;
    noId.status = 201;
    noId.body = "{}";
    bench->server().setFault("/diamond/UploadDiaMain", noId);
    const QString error = R"(Error: Uploading ..[1]..The reply is too short to hold a value after "id")";
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect(error, "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!!! Continue ?", "Data Failed", No)
        .expect(error, "Error Message", Yes);
    scanStoneId(QStringLiteral("P-97"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    EXPECT_EQ(bench->msgTexts().back(), error);
}

// A repeat that fails exactly like the attempt before leaves Msg1 unchanged; its report is still the
// server's refusal, not a missing spectrum.
TEST_F(UploadReportRegressionTest, RepeatedIdenticalFailureIsReportedAsItself)
{
    selectMode(true, w().Polish1);
    // No notification writes Msg1 between the two attempts.
    bench->spectrometer().setNotify(false);
    SimFault busy;
    busy.status = 500;
    busy.body = R"({"message":"busy"})";
    bench->server().setFault("/diamond/UploadDiaMain", busy);
    const QString failed = R"(Failed...[1]..500 - {"message":"busy"})";
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect(failed, "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!!! Continue ?", "Data Failed", Yes)
        .expect(failed, "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!!! Continue ?", "Data Failed", No)
        .expect(failed, "Error Message", Yes);
    scanStoneId(QStringLiteral("P-98"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
    EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 2u);
    EXPECT_EQ(bench->msgTexts().back(), failed);
    for (const QString& text : bench->msg1Texts())
        EXPECT_FALSE(text.startsWith("Error: No spectrum file")) << text.toStdString();
}

} // namespace
