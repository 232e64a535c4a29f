#include "server/HttpRequest.h"

#include "core/BlockingCall.h"

#include <curl/curl.h>

#include <QUrl>

namespace {

// Between two polls the console repaints; short enough for a fluid window, long enough to cost nothing.
constexpr int PollMs = 40;
const QString WaitingForServer = QStringLiteral("Waiting for the server");

struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

QString seconds(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    if (ms % 1000 == 0)
        return QString::number(ms / 1000) + QStringLiteral(" s");
    return QString::number(ms) + QStringLiteral(" ms");
}

bool listed(const std::vector<HttpRequest::Header>& headers, const char* name)
{
    for (const auto& header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Everything the site's settings decide about a transfer, in one place.
void applyTransport(CURL* curl, const HttpLimits& limits, const QByteArray& caBundle, const QByteArray& proxy)
{
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(limits.totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxReplyBytes));
#ifdef _WIN32
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NATIVE_CA));
#endif
    // The system's certificate folder stays in use beside the file.
    if (!caBundle.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caBundle.constData());
    // An empty proxy also stops libcurl from taking one from the process environment, and an empty
    // no-proxy list keeps no_proxy from exempting hosts the site routes through its proxy.
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    // libcurl sends a request again, unasked, when a kept-alive connection it reused closes before
    // any reply: a server that had already acted on it (an upload, a submission) then sees it twice.
    // A connection of its own for every request, closed when the reply is in, is never reused, and
    // a connection that closes early is then reported as the failure it is. Nothing on the wire
    // changes but the number of connections.
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
}

} // namespace

HttpRequest::HttpRequest(Limits limits)
    : m_limits(limits)
{
    static CurlGlobal global;
    m_curl = curl_easy_init();
    m_multi = curl_multi_init();
}

HttpRequest::~HttpRequest()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL*>(m_curl));
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM*>(m_multi));
}

int HttpRequest::perform()
{
    auto* curl = static_cast<CURL*>(m_curl);
    auto* multi = static_cast<CURLM*>(m_multi);
    if (!multi || curl_multi_add_handle(multi, curl) != CURLM_OK)
        return curl_easy_perform(curl);

    BlockingCall call(WaitingForServer);
    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        curl_multi_poll(multi, nullptr, 0, PollMs, nullptr);
        call.pump();
    }
    curl_multi_remove_handle(multi, curl);
    return result;
}

size_t HttpRequest::receive(char* data, size_t size, size_t count, void* self)
{
    auto* request = static_cast<HttpRequest*>(self);
    const size_t bytes = size * count;
    if (request->m_received.size() + qint64(bytes) > request->m_limits.maxReplyBytes) {
        request->m_tooLarge = true;
        return 0; // makes libcurl abort the transfer
    }
    request->m_received.append(data, qsizetype(bytes));
    return bytes;
}

HttpReply HttpRequest::send(const QByteArray& method, const QString& url, const std::vector<Header>& headers,
                            const std::optional<QByteArray>& body)
{
    HttpReply reply;
    auto* curl = static_cast<CURL*>(m_curl);
    if (!curl) {
        reply.error = QStringLiteral("The HTTP client could not be initialised");
        return reply;
    }
    m_received.clear();
    m_tooLarge = false;

    // Settings of a previous send on this handle must not leak into this one.
    curl_easy_reset(curl);
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray address = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    const QByteArray caBundle = m_limits.caBundle.toLocal8Bit();
    const QByteArray proxy = m_limits.proxy.toUtf8();
    applyTransport(curl, m_limits, caBundle, proxy);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpRequest::receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);

    if (body) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body->size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->constData());
        if (method != "POST")
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
    } else if (method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(0));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    } else if (method == "GET") {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
    }

    // The caller's headers in its order; then blank out the ones libcurl would add by itself.
    curl_slist* list = nullptr;
    for (const auto& [name, value] : headers) {
        const QByteArray line = value.isEmpty() ? name + ";" : name + ": " + value;
        list = curl_slist_append(list, line.constData());
    }
    if (!listed(headers, "Accept"))
        list = curl_slist_append(list, "Accept:");
    if (!listed(headers, "Content-Type"))
        list = curl_slist_append(list, "Content-Type:");
    list = curl_slist_append(list, "Expect:");
    // Added to plain HTTP through a proxy; a CONNECT to the proxy keeps its own.
    list = curl_slist_append(list, "Proxy-Connection:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);

    const auto code = CURLcode(perform());
    curl_slist_free_all(list);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);

    if (code == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        reply.completed = true;
        reply.body = std::move(m_received);
        return reply;
    }

    const QString host = QUrl(url).host();
    if (m_tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        reply.error =
            QStringLiteral("The reply is larger than %1 bytes and was not read").arg(m_limits.maxReplyBytes);
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        double connectSeconds = 0;
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME, &connectSeconds);
        if (connectSeconds <= 0)
            reply.error =
                QStringLiteral("No connection to %1 within %2").arg(host, seconds(m_limits.connectTimeout));
        else
            reply.error = QStringLiteral("No complete reply from %1 within %2")
                              .arg(host, seconds(m_limits.totalTimeout));
    } else {
        reply.error = QString::fromUtf8(curl_easy_strerror(code));
        const QString detail = QString::fromUtf8(errorText).trimmed();
        if (!detail.isEmpty())
            reply.error += QStringLiteral(" (") + detail + QStringLiteral(")");
    }
    return reply;
}
