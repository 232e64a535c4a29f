#include "SimServer.h"

#include "SimHttpTap.h"
#include "SimServerReply.h"
#include "SimTlsFront.h"

#include <httplib.h>

using SimServerReply::answer;

SimServer::SimServer() = default;

SimServer::~SimServer()
{
    stop();
}

bool SimServer::start(int port)
{
    m_http = std::make_unique<httplib::Server>();
    installRoutes();
    const int backendPort = m_http->bind_to_any_port("127.0.0.1");
    if (backendPort <= 0)
        return false;
    m_httpThread = std::thread([this] { m_http->listen_after_bind(); });
    // A stop() before the server runs would be missed by it and leave the thread in accept().
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_http->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!m_http->is_running()) {
        stop();
        return false;
    }
    m_tap = std::make_unique<SimHttpTap>(backendPort, [this](const SimRecordedRequest& request) {
        SimHttpTap::Decision decision;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            const auto fault = m_faults.find(request.path);
            if (fault != m_faults.end()) {
                const int n = ++m_faultedRequests[request.path];
                const int only = fault->second.dropOnlyRequest;
                decision.dropConnection = fault->second.dropConnection && (only == 0 || only == n);
                decision.resetMidReply = fault->second.resetMidReply;
            }
        }
        m_changed.notify_all();
        return decision;
    });
    const bool tls = !m_certificateFile.empty();
    if (!m_tap->listen(tls ? 0 : port)) {
        stop();
        return false;
    }
    if (tls) {
        m_tls = std::make_unique<SimTlsFront>(m_tap->port(), m_certificateFile, m_keyFile);
        if (!m_tls->listen(port)) {
            log("HTTPS not started: " + m_tls->error());
            stop();
            return false;
        }
    }
    return true;
}

void SimServer::setTls(const std::string& certificateFile, const std::string& keyFile)
{
    m_certificateFile = certificateFile;
    m_keyFile = keyFile;
}

int SimServer::failedHandshakes() const
{
    return m_tls ? m_tls->failedHandshakes() : 0;
}

void SimServer::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_tls)
        m_tls->stop();
    if (m_tap)
        m_tap->stop();
    if (m_http)
        m_http->stop();
    if (m_httpThread.joinable())
        m_httpThread.join();
    m_tls.reset();
    m_tap.reset();
    m_http.reset();
    std::lock_guard lock(m_mutex);
    m_stopping = false;
}

int SimServer::port() const
{
    if (m_tls)
        return m_tls->port();
    return m_tap ? m_tap->port() : 0;
}

std::string SimServer::baseUrl() const
{
    // A certificate names a host, and the test certificates name this one.
    if (!m_certificateFile.empty())
        return "https://localhost:" + std::to_string(port());
    return "http://127.0.0.1:" + std::to_string(port());
}

std::string SimServer::diagPageUrl() const
{
    return baseUrl() + "/config/diag_scan.htm";
}

void SimServer::setFault(const std::string& path, const SimFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_faults[path] = fault;
    m_faultedRequests[path] = 0;
}

void SimServer::clearFault(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    m_faults.erase(path);
}

void SimServer::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

void SimServer::setRequireAuth(bool on)
{
    std::lock_guard lock(m_mutex);
    m_requireAuth = on;
}

void SimServer::setDiagValues(const std::string& temperature, const std::string& relativeHumidity,
                              const std::string& absoluteHumidity)
{
    std::lock_guard lock(m_mutex);
    m_temperature = temperature;
    m_relativeHumidity = relativeHumidity;
    m_absoluteHumidity = absoluteHumidity;
}

void SimServer::setStoneId(const std::string& barcode, const std::string& stoneId)
{
    std::lock_guard lock(m_mutex);
    m_stoneIds[barcode] = stoneId;
}

void SimServer::setQueryMatcher(QueryMatcher matcher)
{
    std::lock_guard lock(m_mutex);
    m_matcher = std::move(matcher);
}

void SimServer::setLogger(std::function<void(const std::string&)> logger)
{
    std::lock_guard lock(m_mutex);
    m_logger = std::move(logger);
}

void SimServer::log(const std::string& line)
{
    // Called with m_mutex held; the logger must not call back into the server.
    if (m_logger)
        m_logger(line);
}

std::vector<SimRecordedRequest> SimServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<SimRecordedRequest> SimServer::requestsTo(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    std::vector<SimRecordedRequest> matching;
    for (const auto& request : m_requests)
        if (request.path == path)
            matching.push_back(request);
    return matching;
}

void SimServer::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

bool SimServer::waitForRequests(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

std::vector<SimServer::Registration> SimServer::registrations() const
{
    std::lock_guard lock(m_mutex);
    std::vector<Registration> all;
    for (const auto& entry : m_registrations)
        all.push_back(entry.second);
    return all;
}

std::vector<SimServer::Transaction> SimServer::transactions() const
{
    std::lock_guard lock(m_mutex);
    return m_transactions;
}

std::vector<SimServer::PublishedQuery> SimServer::queries() const
{
    std::lock_guard lock(m_mutex);
    return m_queries;
}

std::vector<SimServer::StatusReport> SimServer::statusReports() const
{
    std::lock_guard lock(m_mutex);
    return m_reports;
}

std::string SimServer::lastToken() const
{
    std::lock_guard lock(m_mutex);
    return m_tokenCounter == 0 ? std::string() : *m_tokens.rbegin();
}

std::string SimServer::lastLotCode() const
{
    std::lock_guard lock(m_mutex);
    return m_lotCodes.empty() ? std::string() : m_lotCodes.back();
}

std::optional<SimFault> SimServer::faultFor(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_faults.find(path);
    if (found == m_faults.end())
        return std::nullopt;
    return found->second;
}

bool SimServer::applyFault(const std::string& path, httplib::Response& res)
{
    const auto fault = faultFor(path);
    if (!fault)
        return false;
    if (fault->delayMs > 0) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(fault->delayMs), [this] { return m_stopping; });
    }
    if (fault->body) {
        answer(res, fault->status ? fault->status : 200, *fault->body);
        return true;
    }
    if (fault->oversizedBytes > 0) {
        answer(res, fault->status ? fault->status : 200, std::string(fault->oversizedBytes, 'x'),
               "text/plain");
        return true;
    }
    if (fault->malformedReply) {
        answer(res, fault->status ? fault->status : 500, "<html><body>Internal error", "text/html");
        return true;
    }
    return false;
}

bool SimServer::authorised(const httplib::Request& req, httplib::Response& res)
{
    const std::string value = req.get_header_value("Authorization");
    std::lock_guard lock(m_mutex);
    if (!m_requireAuth || (value.rfind("Bearer ", 0) == 0 && m_tokens.count(value.substr(7))))
        return true;
    answer(res, 401, "{\"message\":\"Unauthorized\"}");
    return false;
}
