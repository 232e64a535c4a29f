#pragma once

#include "SimRecordedRequest.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
class Request;
class Response;
} // namespace httplib

class SimHttpTap;
class SimTlsFront;

// Faults a simulated endpoint can be told to show; plain settings, all off by default.
struct SimFault
{
    int status = 0;                  // answer with this status instead (0: the normal one)
    int delayMs = 0;                 // wait this long before answering
    bool dropConnection = false;     // close the connection without answering
    int dropOnlyRequest = 0;         // n: drop only the n-th request to the path since setFault
    bool resetMidReply = false;      // break the connection after a few bytes of the reply
    bool malformedReply = false;     // answer a text that is not JSON and holds no member
    size_t oversizedBytes = 0;       // answer this many bytes of filler
    bool missingMember = false;      // leave out the member the station reads
    std::optional<std::string> body; // answer exactly this body
};

// The station's three HTTP peers on one loopback port: the VELORA server (status, login, lot codes,
// registration scans and their submission, query transactions and their publication, machine
// status), the customer's stone-ID service (OAuth client credentials) and the spectrometer's
// diagnostics page. Runs on its own threads and records every request it receives.
class SimServer
{
public:
    static constexpr const char* loginUser = "auditor";
    static constexpr const char* loginPassword = "Pnk4Morvatel9##";
    static constexpr const char* stoneIdCredentials = "Qh7TxLmR2vNpW9kZbY4sJd..:Ue3FgHt6KoP1wXz8QcVn5r..";

    struct Scan
    {
        std::string id;
        std::string machineId;
        std::string name;
        std::string points; // as decoded from the body: the file's text
    };
    struct Registration
    {
        std::string lotCode;
        std::vector<Scan> scans;
        std::vector<std::string> submittedIds; // the last submission naming this lot code's scans
    };
    struct Transaction
    {
        std::string id;
        std::string machineId;
        std::string name;
        std::string points;
        std::string lotCode; // the base member
        std::string stage;
    };
    struct PublishedQuery
    {
        std::string id;
        std::string machineId;
        std::string remark;
        std::string expectedResult;
        std::vector<std::string> transactionIds;
        std::vector<Transaction> transactions; // those of the ids that are known, in list order
        std::string extraMembers;              // what the matcher added to the reply
    };
    struct StatusReport
    {
        std::string machineId;
        std::string action;
        std::string valueJson; // the value member as sent (number, null or a quoted string)
    };

    // Hook for spectral matching of a published query against the stored registrations. Returns
    // members to place in the publish reply before the query's "id" (e.g. "\"verdict\":\"MATCH\","),
    // which must not themselves contain "id".
    using QueryMatcher = std::function<std::string(const PublishedQuery& query,
                                                   const std::vector<Registration>& registrations)>;

    SimServer();
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // HTTPS with this certificate chain and key (PEM files) from the next start() on; empty names
    // mean plain HTTP again.
    void setTls(const std::string& certificateFile, const std::string& keyFile);
    // Listens on 127.0.0.1:port (0 picks a free one). False when it cannot.
    bool start(int port);
    void stop();
    int port() const;
    std::string baseUrl() const; // "http://127.0.0.1:<port>", or "https://localhost:<port>" with TLS
    // TLS handshakes that did not complete since start().
    int failedHandshakes() const;
    std::string diagPageUrl() const;

    // Fault knobs, per endpoint path ("/diamond/UploadDiaMain", "/config/diag_scan.htm", ...).
    void setFault(const std::string& path, const SimFault& fault);
    void clearFault(const std::string& path);
    void clearFaults();
    // When on (the default) the authorised endpoints answer 401 to a token they did not issue.
    void setRequireAuth(bool on);

    void setDiagValues(const std::string& temperature, const std::string& relativeHumidity,
                       const std::string& absoluteHumidity);
    void setStoneId(const std::string& barcode, const std::string& stoneId);
    void setQueryMatcher(QueryMatcher matcher);
    // Every registration, submission, transaction and publication as one line (the executable prints them).
    void setLogger(std::function<void(const std::string&)> logger);

    std::vector<SimRecordedRequest> requests() const;
    std::vector<SimRecordedRequest> requestsTo(const std::string& path) const;
    void clearRequests();
    bool waitForRequests(size_t count, std::chrono::milliseconds timeout) const;

    std::vector<Registration> registrations() const;
    std::vector<Transaction> transactions() const;
    std::vector<PublishedQuery> queries() const;
    std::vector<StatusReport> statusReports() const;
    std::string lastToken() const;
    std::string lastLotCode() const;

private:
    void installRoutes();
    std::optional<SimFault> faultFor(const std::string& path) const;
    // Applies the fault's delay and its reply changes; true when the fault decided the reply.
    bool applyFault(const std::string& path, httplib::Response& res);
    bool authorised(const httplib::Request& req, httplib::Response& res);
    void log(const std::string& line);
    std::string lotCodeOfFile(const std::string& fileName) const;
    std::string next(const char* prefix, int& counter);

    std::unique_ptr<httplib::Server> m_http;
    std::unique_ptr<SimHttpTap> m_tap;
    std::unique_ptr<SimTlsFront> m_tls;
    std::string m_certificateFile;
    std::string m_keyFile;
    std::thread m_httpThread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_stopping = false;
    std::vector<SimRecordedRequest> m_requests;
    std::map<std::string, SimFault> m_faults;
    std::map<std::string, int> m_faultedRequests; // requests to a faulted path since its setFault
    bool m_requireAuth = true;
    std::set<std::string> m_tokens;
    std::set<std::string> m_accessTokens;
    std::vector<std::string> m_lotCodes;
    std::map<std::string, Registration> m_registrations;
    std::map<std::string, Scan> m_scans;
    std::vector<Transaction> m_transactions;
    std::vector<PublishedQuery> m_queries;
    std::vector<StatusReport> m_reports;
    std::map<std::string, std::string> m_stoneIds;
    std::string m_temperature = "24.8";
    std::string m_relativeHumidity = "38.5";
    std::string m_absoluteHumidity = "7.9";
    QueryMatcher m_matcher;
    std::function<void(const std::string&)> m_logger;
    int m_tokenCounter = 0;
    int m_accessCounter = 0;
    int m_lotCounter = 0;
    int m_scanCounter = 0;
    int m_transactionCounter = 0;
    int m_queryCounter = 0;
};
