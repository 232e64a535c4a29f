#include "SimController.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// The station's side of the line, opened raw and written in the chunks a test gives.
class Terminal
{
public:
    explicit Terminal(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0) {
            termios t{};
            tcgetattr(m_fd, &t);
            cfmakeraw(&t);
            tcsetattr(m_fd, TCSANOW, &t);
        }
    }
    ~Terminal()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void write(const std::string& text) const
    {
        ASSERT_EQ(::write(m_fd, text.data(), text.size()), ssize_t(text.size()));
    }
    // Reads what arrives within timeoutMs; hungUp tells whether the other side went away.
    std::string read(int timeoutMs, bool* hungUp = nullptr) const
    {
        std::string out;
        char buf[512];
        for (int waited = 0; waited < timeoutMs; waited += 5) {
            pollfd p{m_fd, POLLIN, 0};
            ::poll(&p, 1, 5);
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                out.append(buf, size_t(n));
            else if ((n == 0 || errno != EAGAIN) && hungUp)
                *hungUp = true;
        }
        return out;
    }

private:
    int m_fd = -1;
};

struct SplitCase
{
    const char* name;
    std::vector<std::string> chunks;
    QStringList accepted;
    QStringList rejected;
};

class CommandSplitting : public ::testing::TestWithParam<SplitCase>
{
};

// Commands arrive without separators: letters, then the number, up to the next command letter.
TEST_P(CommandSplitting, LogsCommandsInOrder)
{
    SimController sim(0.001);
    ASSERT_TRUE(sim.start());
    Terminal line(sim.devicePath());
    ASSERT_TRUE(line.isOpen());
    for (const std::string& chunk : GetParam().chunks) {
        line.write(chunk);
        QThread::msleep(2);
    }
    sim.waitForCommands(int(GetParam().accepted.size()), 1000);
    QThread::msleep(60); // the quiet gap ends a trailing command or leftover text
    EXPECT_EQ(sim.commandTexts(), GetParam().accepted);
    EXPECT_EQ(sim.rejectedTexts(), GetParam().rejected);
}

INSTANTIATE_TEST_SUITE_P(
    Line, CommandSplitting,
    ::testing::Values(SplitCase{"TwoInOneRead", {"YF300XF50"}, {"YF300", "XF50"}, {}},
                      SplitCase{"InitThenMove", {"IYF300"}, {"I", "YF300"}, {}},
                      SplitCase{"CountSplitAcrossWrites", {"YF3", "00"}, {"YF300"}, {}},
                      SplitCase{"LettersSplitAcrossWrites", {"Z", "R320"}, {"ZR320"}, {}},
                      SplitCase{"FractionAndExponent", {"XF12.5ZR1E+29"}, {"XF12.5", "ZR1E+29"}, {}},
                      SplitCase{"NegativeCount", {"XR-50"}, {"XR-50"}, {}},
                      SplitCase{"LineEndIsNoCommand", {"XF50\r\n"}, {"XF50"}, {"\r\n"}},
                      SplitCase{"MissingCount", {"XF"}, {}, {"XF"}},
                      SplitCase{"MissingCountBeforeNext", {"XFYR5"}, {"YR5"}, {"XF"}},
                      SplitCase{"UnreadableCount", {"XF-.E"}, {}, {"XF-.E"}},
                      SplitCase{"GarbageBefore", {"QQXF5"}, {"XF5"}, {"QQ"}},
                      SplitCase{"UnknownDirection", {"XA5"}, {}, {"XA5"}},
                      SplitCase{"TwoInits", {"II"}, {"I", "I"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimController, MovesItsAxesOverSimulatedTime)
{
    SimController sim(0.001);
    ASSERT_TRUE(sim.start());
    Terminal line(sim.devicePath());
    line.write("YF300");
    line.write("XF50");
    line.write("ZR320");
    line.write("YR100");
    ASSERT_TRUE(sim.waitForCommands(4, 1000));
    QThread::msleep(20);
    const SimController::Position p = sim.position();
    EXPECT_DOUBLE_EQ(p.x, 50);
    EXPECT_DOUBLE_EQ(p.y, 200);
    EXPECT_DOUBLE_EQ(p.z, -320);
    EXPECT_FALSE(sim.isInitialised());

    line.write("I");
    ASSERT_TRUE(sim.waitForCommands(5, 1000));
    QThread::msleep(30); // 8 s scaled
    EXPECT_TRUE(sim.isInitialised());
    const SimController::Position home = sim.position();
    EXPECT_DOUBLE_EQ(home.x, 0);
    EXPECT_DOUBLE_EQ(home.y, 0);
    EXPECT_DOUBLE_EQ(home.z, 0);
}

TEST(SimController, AMoveTakesTimeAtFullScale)
{
    SimController sim(1.0);
    ASSERT_TRUE(sim.start());
    Terminal line(sim.devicePath());
    line.write("YF200"); // one second at 200 steps per second
    ASSERT_TRUE(sim.waitForCommands(1, 1000));
    QThread::msleep(200);
    EXPECT_TRUE(sim.isMoving());
    const double y = sim.position().y;
    EXPECT_GT(y, 10);
    EXPECT_LT(y, 190);
}

TEST(SimController, AnswersNowAndThenUnlessSilent)
{
    SimController sim(0.001);
    ASSERT_TRUE(sim.start());
    Terminal line(sim.devicePath());
    line.write("YF300");
    const std::string answer = line.read(100);
    EXPECT_EQ(answer.rfind("OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("POS X0 Y300 Z0\r\n"), std::string::npos) << answer;
    EXPECT_EQ(sim.bytesSent(), std::int64_t(answer.size()));

    sim.setSilent(true);
    line.write("YR300");
    EXPECT_EQ(line.read(60), "");
    EXPECT_TRUE(sim.waitForCommands(2, 1000));
}

TEST(SimController, LogKeepsOrderAndTime)
{
    SimController sim(0.001);
    ASSERT_TRUE(sim.start());
    Terminal line(sim.devicePath());
    for (const char* c : {"XF1", "XF2", "XF3"}) {
        line.write(c);
        QThread::msleep(3);
    }
    ASSERT_TRUE(sim.waitForCommands(3, 1000));
    const auto log = sim.commands();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].count, 1);
    EXPECT_EQ(log[2].count, 3);
    EXPECT_LE(log[0].elapsedMs, log[1].elapsedMs);
    EXPECT_LE(log[1].at, log[2].at);
    sim.clearLog();
    EXPECT_TRUE(sim.commands().empty());
}

TEST(SimController, UnplugClosesTheLine)
{
    SimController sim(0.001);
    ASSERT_TRUE(sim.start());
    const QString device = sim.devicePath();
    Terminal line(device);
    line.write("XF5");
    ASSERT_TRUE(sim.waitForCommands(1, 1000));
    sim.unplug();
    EXPECT_FALSE(sim.isPlugged());
    EXPECT_FALSE(QFileInfo::exists(device));
    bool hungUp = false;
    line.read(20, &hungUp);
    EXPECT_TRUE(hungUp);
    EXPECT_EQ(::write(line.fd(), "XF5", 3), -1);
}

TEST(SimController, PortLinkPointsToTheDevice)
{
    QTemporaryDir folder;
    SimController first(0.001);
    SimController second(0.001);
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(second.start());
    const QString link = first.createPortLink(folder.path(), 4);
    EXPECT_EQ(link, QDir(folder.path()).filePath(QStringLiteral("COM4")));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), first.devicePath());
    // A second controller takes the name over.
    EXPECT_EQ(second.createPortLink(folder.path(), 4), link);
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), second.devicePath());
    Terminal line(link);
    line.write("ZF1");
    EXPECT_TRUE(second.waitForCommands(1, 1000));
    EXPECT_TRUE(first.commands().empty());
}

} // namespace
