#include "spectro/TcpSpectrometerLink.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// A bridge stand-in on the IPv6 loopback, in a thread of its own (the link's calls block this one):
// it answers the first line of one connection with OK and keeps that line.
class Ipv6Listener
{
public:
    Ipv6Listener()
    {
        m_fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        socklen_t length = sizeof(address);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_fd, 1) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin6_port);
        m_thread = std::thread([this] { serveOne(); });
    }

    ~Ipv6Listener()
    {
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR); // ends a pending accept
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    quint16 port() const { return m_port; }

    // The first line the peer sent, once it has gone.
    std::string firstLine()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_line;
    }

private:
    void serveOne()
    {
        const int peer = ::accept(m_fd, nullptr, nullptr);
        if (peer < 0)
            return;
        char c = 0;
        while (::read(peer, &c, 1) == 1 && c != '\n')
            m_line += c;
        if (::write(peer, "OK\n", 3) == 3) {
            while (::read(peer, &c, 1) == 1) {
            }
        }
        ::close(peer);
    }

    int m_fd = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::string m_line;
};

TEST(LinkAddress, BracketedIpv6AddressConnects)
{
    Ipv6Listener listener;
    if (listener.port() == 0)
        GTEST_SKIP() << "no IPv6 loopback on this machine (::1 cannot be bound)";
    QString error;
    {
        TcpSpectrometerLink link(QStringLiteral("[::1]:%1").arg(listener.port()));
        ASSERT_TRUE(link.openConversation(QStringLiteral("OPUS|System"), 50, &error)) << error.toStdString();
        EXPECT_TRUE(link.isConnected());
    }
    EXPECT_EQ(listener.firstLine(), "CONNECT OPUS|System");
}

} // namespace
