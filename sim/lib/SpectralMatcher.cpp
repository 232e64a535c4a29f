#include "SpectralMatcher.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct Region
{
    double from;
    double to;
};

// Stone-specific features (nitrogen one-phonon bands, platelets, hydrogen lines) and the intrinsic
// two-phonon band, whose height follows the stone's thickness; the flat stretch between them gives
// the baseline. Each group is compared on its own so a strong band cannot hide a weak one.
constexpr Region Compared[] = {{1000, 1420}, {3080, 3130}, {1900, 2700}};
constexpr size_t FeatureRegions = 2; // the first two regions form the stone-specific group
// Below this size a group's difference is measured against the floor, so a nitrogen-free stone's
// noise does not count as a difference in shape.
constexpr double StoneFeatureFloor = 0.5;
constexpr Region BaselineRegion{1500, 1700};
constexpr double Step = 2.0;

} // namespace

std::vector<std::pair<double, double>> SpectralMatcher::parsePoints(const std::string& text)
{
    std::vector<std::pair<double, double>> points;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (
            end < text.size() && text[end] != '\r' && text[end] != '\n' &&
            !(text[end] == '\\' && end + 1 < text.size() && (text[end + 1] == 'r' || text[end + 1] == 'n')))
            ++end;
        const std::string line = text.substr(pos, end - pos);
        const size_t comma = line.find(',');
        if (comma != std::string::npos) {
            char* stop = nullptr;
            const double x = std::strtod(line.c_str(), &stop);
            const bool xOk = stop == line.c_str() + comma;
            const double y = std::strtod(line.c_str() + comma + 1, &stop);
            if (xOk && stop != line.c_str() + comma + 1 && std::isfinite(x) && std::isfinite(y))
                points.emplace_back(x, y);
        }
        pos = end;
        while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n' ||
                                     (text[pos] == '\\' && pos + 1 < text.size() &&
                                      (text[pos + 1] == 'r' || text[pos + 1] == 'n'))))
            pos += text[pos] == '\\' ? 2 : 1;
    }
    return points;
}

SpectralMatcher::Features SpectralMatcher::features(const std::vector<std::string>& pointTables)
{
    // Bin every table onto one grid and average the scans (rotation and noise average out).
    size_t bins = 0;
    for (const Region& r : Compared)
        bins += static_cast<size_t>((r.to - r.from) / Step);
    std::vector<double> sum(bins, 0.0);
    std::vector<int> count(bins, 0);
    int tables = 0;
    for (const std::string& text : pointTables) {
        const auto points = parsePoints(text);
        double baseSum = 0;
        int baseCount = 0;
        for (const auto& [x, y] : points) {
            if (x >= BaselineRegion.from && x <= BaselineRegion.to) {
                baseSum += y;
                ++baseCount;
            }
        }
        if (baseCount == 0)
            continue;
        const double baseline = baseSum / baseCount;
        ++tables;
        for (const auto& [x, y] : points) {
            size_t offset = 0;
            for (const Region& r : Compared) {
                const size_t regionBins = static_cast<size_t>((r.to - r.from) / Step);
                if (x >= r.from && x < r.to) {
                    const size_t bin =
                        offset + std::min(regionBins - 1, static_cast<size_t>((x - r.from) / Step));
                    sum[bin] += y - baseline;
                    ++count[bin];
                }
                offset += regionBins;
            }
        }
    }
    if (tables == 0)
        return {};
    Features f(bins, 0.0);
    for (size_t i = 0; i < bins; ++i)
        f[i] = count[i] ? sum[i] / count[i] : 0.0;
    return f;
}

namespace {

double groupSimilarity(const SpectralMatcher::Features& a, const SpectralMatcher::Features& b, size_t from,
                       size_t to, double floor)
{
    double diff = 0, na = 0, nb = 0;
    for (size_t i = from; i < to; ++i) {
        diff += (a[i] - b[i]) * (a[i] - b[i]);
        na += a[i] * a[i];
        nb += b[i] * b[i];
    }
    const double scale = std::max(std::sqrt(std::max(na, nb)), floor);
    if (scale <= 0)
        return 0.0;
    return std::clamp(1.0 - std::sqrt(diff) / scale, 0.0, 1.0);
}

} // namespace

double SpectralMatcher::similarity(const Features& a, const Features& b)
{
    if (a.empty() || a.size() != b.size())
        return 0.0;
    size_t split = 0;
    for (size_t r = 0; r < FeatureRegions; ++r)
        split += static_cast<size_t>((Compared[r].to - Compared[r].from) / Step);
    return std::min(groupSimilarity(a, b, 0, split, StoneFeatureFloor),
                    groupSimilarity(a, b, split, a.size(), 0.0));
}

SpectralMatcher::Verdict SpectralMatcher::judge(const std::vector<std::string>& queryTables,
                                                const std::vector<Reference>& references)
{
    std::vector<std::pair<std::string, Features>> computed;
    for (const Reference& ref : references)
        computed.emplace_back(ref.lotCode, features(ref.pointTables));
    return judge(features(queryTables), computed);
}

SpectralMatcher::Verdict
SpectralMatcher::judge(const Features& query, const std::vector<std::pair<std::string, Features>>& references)
{
    Verdict verdict;
    for (const auto& [lotCode, reference] : references)
        verdict.ranking.push_back({lotCode, similarity(query, reference)});
    std::stable_sort(verdict.ranking.begin(), verdict.ranking.end(),
                     [](const Candidate& x, const Candidate& y) { return x.score > y.score; });
    if (!verdict.ranking.empty()) {
        verdict.score = verdict.ranking[0].score;
        verdict.runnerUpScore = verdict.ranking.size() > 1 ? verdict.ranking[1].score : 0.0;
        verdict.matched =
            verdict.score >= MatchThreshold && verdict.score - verdict.runnerUpScore >= MinimumMargin;
        if (verdict.matched)
            verdict.matchedLotCode = verdict.ranking[0].lotCode;
    }
    return verdict;
}

std::string SpectralMatcher::replyMembers(const Verdict& verdict)
{
    char scores[96];
    std::snprintf(scores, sizeof scores, "\"score\":%.4f,\"runnerUp\":%.4f,", verdict.score,
                  verdict.runnerUpScore);
    if (!verdict.matched)
        return std::string("\"verdict\":\"NO MATCH\",") + scores;
    return "\"verdict\":\"MATCH\",\"matchedLot\":\"" + verdict.matchedLotCode + "\"," + scores;
}

SimServer::QueryMatcher SpectralMatcher::serverMatcher()
{
    return [](const SimServer::PublishedQuery& query,
              const std::vector<SimServer::Registration>& registrations) {
        std::vector<std::string> queryTables;
        for (const auto& transaction : query.transactions)
            queryTables.push_back(transaction.points);
        std::vector<Reference> references;
        for (const auto& registration : registrations) {
            // A stone counts as registered once its scans were submitted.
            if (registration.submittedIds.empty())
                continue;
            Reference ref{registration.lotCode, {}};
            for (const auto& scan : registration.scans)
                ref.pointTables.push_back(scan.points);
            references.push_back(std::move(ref));
        }
        const Verdict verdict = judge(queryTables, references);
        // The station cuts the query's id after the first "id": the members must not hold one.
        std::string members = replyMembers(verdict);
        if (members.find("id") != std::string::npos)
            members = verdict.matched ? "\"verdict\":\"MATCH\"," : "\"verdict\":\"NO MATCH\",";
        return members;
    };
}
