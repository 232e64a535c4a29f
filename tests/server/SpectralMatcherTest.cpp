#include "SimSpectrometer.h"
#include "SpectralMatcher.h"

#include <QString>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> scansOf(const QString& stone, int count)
{
    std::vector<std::string> tables;
    for (int i = 0; i < count; ++i)
        tables.push_back(SimSpectrometer::spectrumFor(stone, i).toStdString());
    return tables;
}

TEST(SpectralMatcher, ReadsTablesWithAnyLineEnd)
{
    EXPECT_EQ(SpectralMatcher::parsePoints("1000,0.5\r\n1001,0.6\r\n").size(), 2u);
    EXPECT_EQ(SpectralMatcher::parsePoints("1000,0.5\\r\\n1001,0.6\\r\\n\\r").size(), 2u) << "escaped body text";
    EXPECT_EQ(SpectralMatcher::parsePoints("1000,0.5\n1001,x\nabc\n,\n").size(), 1u) << "bad rows skipped";
    EXPECT_TRUE(SpectralMatcher::features({"garbage"}).empty());
}

// Twenty-five registered stones: each one's query finds it with a clear margin, across scan noise and
// rotation (registration 8 scans, query 6), and stones that were never registered match none.
TEST(SpectralMatcher, QueryFindsItsStoneAndStrangersFindNone)
{
    std::vector<std::pair<std::string, SpectralMatcher::Features>> references;
    for (int i = 0; i < 25; ++i) {
        const QString stone = QStringLiteral("VL%1").arg(i, 6, 10, QLatin1Char('0'));
        references.emplace_back(stone.toStdString(), SpectralMatcher::features(scansOf(stone, 8)));
    }
    for (const auto& [lotCode, features] : references) {
        const auto query = SpectralMatcher::features(scansOf(QString::fromStdString(lotCode), 6));
        const auto verdict = SpectralMatcher::judge(query, references);
        EXPECT_TRUE(verdict.matched) << lotCode;
        EXPECT_EQ(verdict.matchedLotCode, lotCode);
        EXPECT_GE(verdict.score - verdict.runnerUpScore, 0.02) << lotCode;
    }
    int strangersMatched = 0;
    for (int i = 0; i < 25; ++i) {
        const auto query = SpectralMatcher::features(scansOf(QStringLiteral("NEW%1").arg(i), 6));
        strangersMatched += SpectralMatcher::judge(query, references).matched;
    }
    EXPECT_EQ(strangersMatched, 0);
}

TEST(SpectralMatcher, ReplyMembersNeverHoldTheKeyTheStationCutsAfter)
{
    SimServer::PublishedQuery query;
    for (const auto& table : scansOf(QStringLiteral("VL000001"), 6))
        query.transactions.push_back({"T", "M", "n", table, "VL000001", "ROUGH"});
    SimServer::Registration registered{"VL000001", {}, {"S-1"}};
    for (const auto& table : scansOf(QStringLiteral("VL000001"), 8))
        registered.scans.push_back({"S", "M", "n", table});
    SimServer::Registration unsubmitted{"VL000002", registered.scans, {}};
    const std::string members = SpectralMatcher::serverMatcher()(query, {registered, unsubmitted});
    EXPECT_EQ(members.find("id"), std::string::npos);
    EXPECT_EQ(members.rfind("\"verdict\":\"MATCH\",\"matchedLot\":\"VL000001\"", 0), 0u) << members;
    EXPECT_EQ(SpectralMatcher::serverMatcher()(query, {unsubmitted}).rfind("\"verdict\":\"NO MATCH\"", 0), 0u)
        << "a registration that was never submitted is no reference";
}

} // namespace
