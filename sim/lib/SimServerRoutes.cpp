#include "SimServer.h"

#include "SimServerReply.h"

#include <httplib.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>

using SimServerReply::answer;
using SimServerReply::jsonType;

namespace {

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(static_cast<unsigned char>(c)));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Qt's parser lets raw control characters inside strings pass; a strict server would not.
bool rawControlInString(const std::string& body)
{
    bool inString = false;
    for (size_t i = 0; i < body.size(); ++i) {
        const auto c = static_cast<unsigned char>(body[i]);
        if (inString && c == '\\')
            ++i;
        else if (c == '"')
            inString = !inString;
        else if (inString && c < 0x20)
            return true;
    }
    return false;
}

std::optional<QJsonObject> parseObject(const std::string& body)
{
    if (rawControlInString(body))
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), qsizetype(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::string member(const QJsonObject& object, const char* name)
{
    return object.value(QLatin1String(name)).toString().toStdString();
}

std::string base64(const std::string& text)
{
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

} // namespace

std::string SimServer::next(const char* prefix, int& counter)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%06d", prefix, ++counter);
    return text;
}

std::string SimServer::lotCodeOfFile(const std::string& fileName) const
{
    std::string best;
    for (const auto& lotCode : m_lotCodes)
        if (lotCode.size() > best.size() && fileName.rfind(lotCode + "-", 0) == 0)
            best = lotCode;
    if (!best.empty())
        return best;
    return fileName.substr(0, fileName.find('-'));
}

void SimServer::installRoutes()
{
    httplib::Server& http = *m_http;
    http.set_payload_max_length(256u << 20);
    http.set_keep_alive_max_count(1000);

    // The status code of a fault applies to the normal body too ("500 with an id").
    auto finish = [this](const std::string& path, httplib::Response& res, int status, const std::string& body,
                         const std::string& bodyWithoutMember) {
        const auto fault = faultFor(path);
        const int code = fault && fault->status ? fault->status : status;
        answer(res, code, fault && fault->missingMember ? bodyWithoutMember : body);
    };

    http.Get("/", [=, this](const httplib::Request&, httplib::Response& res) {
        if (applyFault("/", res))
            return;
        finish("/", res, 200, "{\"service\":\"VELORA\",\"status\":\"UP\"}", "{}");
    });

    // The simulation's own window on its verdicts: every published query with what the matcher said.
    http.Get("/sim/verdicts", [=, this](const httplib::Request&, httplib::Response& res) {
        std::string list = "[";
        {
            std::lock_guard lock(m_mutex);
            for (const auto& query : m_queries) {
                std::string members = query.extraMembers;
                if (!members.empty() && members.back() == ',')
                    members.pop_back();
                list += (list.size() > 1 ? ",{" : "{") + std::string("\"query\":") + jsonString(query.id) +
                        (members.empty() ? "" : "," + members) + "}";
            }
        }
        answer(res, 200, list + "]");
    });

    http.Get("/getServerStatus", [=, this](const httplib::Request&, httplib::Response& res) {
        if (applyFault("/getServerStatus", res))
            return;
        finish("/getServerStatus", res, 200, "{\"status\":\"UP\"}", "{}");
    });

    http.Post("/api/account/velora-login", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        if (member(*body, "username") != loginUser || member(*body, "password") != loginPassword ||
            member(*body, "companyName").empty()) {
            answer(res, 401, "{\"message\":\"Invalid credentials\"}");
            return;
        }
        std::string token;
        {
            std::lock_guard lock(m_mutex);
            token = next("vt-", m_tokenCounter);
            m_tokens.insert(token);
            log("login of " + member(*body, "username") + " for " + member(*body, "companyName"));
        }
        finish(path, res, 200, "{\"username\":\"auditor\",\"Token\":" + jsonString(token) + "}",
               "{\"username\":\"auditor\"}");
    });

    http.Post("/diamond/generateLotCode", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res) || !authorised(req, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        std::string lotCode;
        {
            std::lock_guard lock(m_mutex);
            lotCode = next("VL", m_lotCounter);
            m_lotCodes.push_back(lotCode);
            log("lot code " + lotCode + " for stone " + member(*body, "lotCode"));
        }
        finish(path, res, 200, "{\"status\":\"generated\",\"Table\":" + jsonString(lotCode) + "}",
               "{\"status\":\"generated\"}");
    });

    http.Post("/diamond/UploadDiaMain", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res) || !authorised(req, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        Scan scan;
        {
            std::lock_guard lock(m_mutex);
            scan.id = next("S-", m_scanCounter);
            scan.machineId = member(*body, "machineId");
            scan.name = member(*body, "name");
            scan.points = member(*body, "points");
            const std::string lotCode = lotCodeOfFile(scan.name);
            Registration& registration = m_registrations[lotCode];
            registration.lotCode = lotCode;
            registration.scans.push_back(scan);
            m_scans[scan.id] = scan;
            log("registration scan " + scan.id + " of lot " + lotCode + ": " + scan.name + ", " +
                std::to_string(scan.points.size()) + " bytes of points");
        }
        finish(path, res, 201, "{\"id\":" + jsonString(scan.id) + "}\n", "{\"status\":\"stored\"}\n");
    });

    http.Post("/diamond/submitMainFiles", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res) || !authorised(req, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        std::vector<std::string> ids;
        for (const QJsonValue& value : body->value(QLatin1String("scanIds")).toArray())
            ids.push_back(value.toString().toStdString());
        {
            std::lock_guard lock(m_mutex);
            for (const auto& id : ids) {
                if (!m_scans.count(id)) {
                    answer(res, 400, "{\"message\":\"Unknown scan " + id + "\"}");
                    return;
                }
            }
            std::string lots;
            for (auto& [lotCode, registration] : m_registrations) {
                std::vector<std::string> mine;
                for (const auto& id : ids)
                    for (const auto& scan : registration.scans)
                        if (scan.id == id)
                            mine.push_back(id);
                if (!mine.empty()) {
                    registration.submittedIds = mine;
                    lots += " " + lotCode;
                }
            }
            log("registration submitted: " + std::to_string(ids.size()) + " scans, lot" + lots);
        }
        finish(path, res, 201,
               "{\"message\":\"Main files submitted\",\"count\":" + std::to_string(ids.size()) + "}", "{}");
    });

    http.Post("/diamond/addTransactionLog", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res) || !authorised(req, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        Transaction transaction;
        {
            std::lock_guard lock(m_mutex);
            transaction.id = next("T-", m_transactionCounter);
            transaction.machineId = member(*body, "machineId");
            transaction.name = member(*body, "name");
            transaction.points = member(*body, "points");
            transaction.lotCode = member(*body, "base");
            transaction.stage = member(*body, "stage");
            m_transactions.push_back(transaction);
            log("query scan " + transaction.id + " of lot " + transaction.lotCode + " (" + transaction.stage +
                "): " + transaction.name);
        }
        finish(path, res, 201, "{\"id\":" + jsonString(transaction.id) + "}\n", "{\"status\":\"stored\"}\n");
    });

    http.Post("/diamond/publishNewAddedTransactionIds", [=, this](const httplib::Request& req,
                                                                  httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res) || !authorised(req, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        PublishedQuery query;
        QueryMatcher matcher;
        std::vector<Registration> registrationsNow;
        {
            std::lock_guard lock(m_mutex);
            query.id = next("Q-", m_queryCounter);
            query.machineId = member(*body, "machineId");
            query.remark = member(*body, "remark");
            query.expectedResult = member(*body, "expected_result");
            for (const QJsonValue& value : body->value(QLatin1String("transactionIds")).toArray()) {
                query.transactionIds.push_back(value.toString().toStdString());
                for (const auto& transaction : m_transactions)
                    if (transaction.id == query.transactionIds.back())
                        query.transactions.push_back(transaction);
            }
            matcher = m_matcher;
            if (matcher)
                for (const auto& entry : m_registrations)
                    registrationsNow.push_back(entry.second);
        }
        if (matcher)
            query.extraMembers = matcher(query, registrationsNow);
        {
            std::lock_guard lock(m_mutex);
            m_queries.push_back(query);
            log("query " + query.id + " published with " + std::to_string(query.transactionIds.size()) +
                " transactions" + (query.extraMembers.empty() ? "" : ": " + query.extraMembers));
        }
        finish(path, res, 201, "{" + query.extraMembers + "\"id\":" + jsonString(query.id) + "}",
               "{\"status\":\"published\"}");
    });

    http.Post("/diamond/machineStatus", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res) || !authorised(req, res))
            return;
        const auto body = parseObject(req.body);
        if (!body) {
            answer(res, 400, "{\"message\":\"Invalid JSON\"}");
            return;
        }
        {
            std::lock_guard lock(m_mutex);
            StatusReport report;
            report.machineId = member(*body, "machineId");
            report.action = member(*body, "action");
            report.valueJson = QJsonDocument(QJsonArray{body->value(QLatin1String("value"))})
                                   .toJson(QJsonDocument::Compact)
                                   .toStdString();
            report.valueJson = report.valueJson.substr(1, report.valueJson.size() - 2);
            m_reports.push_back(report);
            log("machine status of " + report.machineId + ": " + report.action + " = " + report.valueJson);
        }
        finish(path, res, 200, "{\"message\":\"Status recorded\"}", "{}");
    });

    http.Post("/ords/morvex14/oauth/token", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res))
            return;
        if (req.get_header_value("Authorization") != "Basic " + base64(stoneIdCredentials) ||
            req.body != "grant_type=client_credentials") {
            answer(res, 401, "{\"error\":\"invalid_client\"}");
            return;
        }
        std::string token;
        {
            std::lock_guard lock(m_mutex);
            token = next("sat-", m_accessCounter);
            m_accessTokens.insert(token);
        }
        finish(path, res, 200,
               "{\"access_token\":" + jsonString(token) + ",\"token_type\":\"bearer\",\"expires_in\":3600}",
               "{\"token_type\":\"bearer\",\"expires_in\":3600}");
    });

    http.Post("/ords/morvex14/morvexapp/get_stoneid", [=, this](const httplib::Request& req,
                                                                httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res))
            return;
        const std::string authorization = req.get_header_value("Authorization");
        std::string stoneId;
        {
            std::lock_guard lock(m_mutex);
            if (authorization.rfind("Bearer ", 0) != 0 || !m_accessTokens.count(authorization.substr(7))) {
                answer(res, 401, "{\"error\":\"invalid_token\"}");
                return;
            }
            const std::string barcode = req.get_param_value("p_bcno");
            const auto known = m_stoneIds.find(barcode);
            stoneId = known != m_stoneIds.end() ? known->second : "OZB-" + barcode;
        }
        finish(path, res, 200, "{\"stoneId\":" + jsonString(stoneId) + "}", "{\"result\":\"none\"}");
    });

    http.Get("/config/diag_scan.htm", [=, this](const httplib::Request& req, httplib::Response& res) {
        const std::string path = req.path;
        if (applyFault(path, res))
            return;
        std::string rows;
        {
            std::lock_guard lock(m_mutex);
            rows = "<tr><td>Temperature</td><td ID=SCRTMPCORR> " + m_temperature +
                   " </td></tr>\n"
                   "<tr><td>Relative humidity</td><td ID=SCRHUMREL> " +
                   m_relativeHumidity +
                   " </td></tr>\n"
                   "<tr><td>Absolute humidity</td><td ID=SCRHUMABS> " +
                   m_absoluteHumidity + " </td></tr>\n";
        }
        const std::string head = "<html><head><title>Diagnostics</title></head><body><table>\n";
        const std::string tail = "</table></body></html>\n";
        const auto fault = faultFor(path);
        answer(res, fault && fault->status ? fault->status : 200,
               head + (fault && fault->missingMember ? std::string() : rows) + tail, "text/html");
    });

    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404)
            res.set_content("{\"message\":\"Not found\"}", jsonType);
    });
}
