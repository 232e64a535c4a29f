#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

// What one request brought back. `completed` is false when the transfer itself failed (no
// connection, time-out, reset, reply too large); `error` then says what happened.
struct HttpReply
{
    bool completed = false;
    long status = 0;
    QByteArray body;
    QString error;

    QString text() const { return QString::fromUtf8(body); }
};

// Time-outs and reply cap of a request, beyond any of which the request fails, and how it travels.
struct HttpLimits
{
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{60000};
    qint64 maxReplyBytes = 16 * 1024 * 1024;
    QString caBundle; // PEM file of extra trusted certificates; empty: the system store only
    QString proxy;    // empty: no proxy, whatever http_proxy, https_proxy or all_proxy say
};

// One synchronous HTTP/1.1 request object on a libcurl easy handle, reused by every send() of the
// same object. Each send() goes out once, on a connection of its own that is closed after the reply,
// and returns only with the reply or the failure; meanwhile the windows are repainted and nothing of
// the station runs (BlockingCall). Only the headers given are sent, besides the ones HTTP/1.1 cannot
// do without: Host and, when there is a body, Content-Length.
class HttpRequest
{
public:
    using Limits = HttpLimits;
    using Header = std::pair<QByteArray, QByteArray>;

    explicit HttpRequest(Limits limits = Limits());
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // method is "GET" or "POST"; a GET with a body is sent as such.
    HttpReply send(const QByteArray& method, const QString& url, const std::vector<Header>& headers,
                   const std::optional<QByteArray>& body = std::nullopt);

private:
    static size_t receive(char* data, size_t size, size_t count, void* self);
    // Runs the transfer set up on the easy handle to its end; returns its CURLcode.
    int perform();

    Limits m_limits;
    void* m_curl = nullptr;
    void* m_multi = nullptr; // drives the transfer in polls
    QByteArray m_received;
    bool m_tooLarge = false;
};
