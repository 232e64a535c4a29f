#pragma once

#include "SimServer.h"

#include <string>
#include <vector>

// Decides which registered stone a query comes from by spectral similarity: the mean absorbance of
// each side's scans, baseline-corrected, over the one-phonon region (nitrogen and hydrogen features,
// the stone's own) and the intrinsic two-phonon band (its height follows the stone's thickness).
class SpectralMatcher
{
public:
    // Absorbance on a 2 cm-1 grid over the compared regions; empty when a table holds no usable rows.
    using Features = std::vector<double>;

    struct Candidate
    {
        std::string lotCode;
        double score = 0;
    };
    struct Verdict
    {
        bool matched = false;
        std::string matchedLotCode;
        double score = 0;               // best candidate's score (0..1)
        double runnerUpScore = 0;       // second best, for the margin
        std::vector<Candidate> ranking; // best first
    };

    static constexpr double MatchThreshold = 0.98;
    static constexpr double MinimumMargin = 0.01;

    // A data point table "wavenumber,absorbance" per line (CR LF, LF, or the escaped \r\n of a body).
    static std::vector<std::pair<double, double>> parsePoints(const std::string& text);
    static Features features(const std::vector<std::string>& pointTables);
    // 1 for identical features, falling towards 0 with their relative distance.
    static double similarity(const Features& a, const Features& b);

    struct Reference
    {
        std::string lotCode;
        std::vector<std::string> pointTables;
    };
    static Verdict judge(const std::vector<std::string>& queryTables,
                         const std::vector<Reference>& references);
    // The same on features computed once.
    static Verdict judge(const Features& query,
                         const std::vector<std::pair<std::string, Features>>& references);

    // The simulated server's matcher: judges each published query against the submitted registrations
    // and answers the verdict as reply members ("verdict", "matchedLot", "score", "runnerUp").
    static SimServer::QueryMatcher serverMatcher();
    static std::string replyMembers(const Verdict& verdict);
};
