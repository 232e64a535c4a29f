#include "WorkflowBench.h"
#include "support/TestCertificates.h"

namespace {

// A whole registration with every server on HTTPS, trusted through the site's own authority.
class HttpsRegistrationTest : public WorkflowBench
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(certificates.makeAuthority()) << certificates.error().toStdString();
        ASSERT_TRUE(certificates.makeServer(QStringLiteral("localhost"), QStringLiteral("DNS:localhost")))
            << certificates.error().toStdString();
        SimBench::Options options;
        options.tlsCertificate = certificates.certificate(QStringLiteral("localhost"));
        options.tlsKey = certificates.key(QStringLiteral("localhost"));
        options.caBundle = certificates.authority();
        startBench(options);
    }

    TestCertificates certificates;
};

TEST_F(HttpsRegistrationTest, RegistersAStone)
{
    ASSERT_EQ(bench->server().baseUrl().rfind("https://localhost:", 0), 0u);
    // The start-up's login and machine status went through already.
    EXPECT_FALSE(bench->server().lastToken().empty());
    EXPECT_FALSE(bench->server().statusReports().empty());

    selectMode(true, w().Rough1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect("Have you moved the stone physically ?", "Arm Moving Outside", Yes);
    scanStoneId(QStringLiteral("LOT123-05#7-2"));
    EXPECT_EQ(driver->pending(), 0);
    EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();

    const auto registrations = bench->server().registrations();
    ASSERT_EQ(registrations.size(), 1u);
    EXPECT_EQ(registrations[0].scans.size(), 8u);
    EXPECT_EQ(registrations[0].submittedIds.size(), 8u);
    EXPECT_EQ(bench->msgTexts().back(),
              QStringLiteral("Response: {\"message\":\"Main files submitted\",\"count\":8}"));
    EXPECT_EQ(bench->server().failedHandshakes(), 0);
}

} // namespace
