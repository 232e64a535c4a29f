#include "core/StationConfigFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <iostream>
#include <random>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using StationConfigFile::StepOutcome;
using StationConfigFile::Values;
using StationConfigFile::WriteStep;

// The rewrite run in a child process that really dies: either by _exit at a chosen step (no clean-up,
// no buffered data flushed) or by SIGKILL from the parent at an arbitrary moment of a rewrite loop.
// Afterwards the file must read as the old or the new content, whole.
class StationConfigFileKillTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = StationConfigFile::path(m_dir.path());
        m_old[0] = StoredValue("3");
        m_old[9] = StoredValue("/data/spectra");
        m_old[16] = StoredValue("ZENTI");
        m_new = m_old;
        m_new[9] = StoredValue(QString(2000, u'x')); // long enough to need several writes of a buffer
        m_new[16] = StoredValue("night shift");
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(StationConfigFile::serialize(m_old));
    }

    QByteArray content() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    // Waits for the child at most timeoutMs; kills it when it is still there.
    static int reap(pid_t child, int timeoutMs)
    {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return status;
    }

    QTemporaryDir m_dir;
    QString m_path;
    Values m_old;
    Values m_new;
};

} // namespace

TEST_F(StationConfigFileKillTest, ProcessEndedAtEveryStepLeavesOldOrNewWhole)
{
    const QByteArray oldContent = StationConfigFile::serialize(m_old);
    const QByteArray newContent = StationConfigFile::serialize(m_new);
    for (WriteStep dieAt : {WriteStep::CreateTemp, WriteStep::Write, WriteStep::Flush, WriteStep::Sync,
                            WriteStep::Close, WriteStep::Rename}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            StationConfigFile::write(m_path, m_new, [dieAt](WriteStep step) {
                if (step == dieAt)
                    ::_exit(0);
                return StepOutcome::Proceed;
            });
            ::_exit(1); // the step never came
        }
        const int status = reap(child, 10000);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << int(dieAt);
        EXPECT_EQ(content(), oldContent) << "ended before step " << int(dieAt);
    }
    // Ended right after the rewrite returned: the new file, whole.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(StationConfigFile::write(m_path, m_new) ? 0 : 1);
    const int status = reap(child, 10000);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(content(), newContent);
}

TEST_F(StationConfigFileKillTest, KilledAtArbitraryMomentsLeavesOldOrNewWhole)
{
    const QByteArray oldContent = StationConfigFile::serialize(m_old);
    const QByteArray newContent = StationConfigFile::serialize(m_new);
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> delayUs(0, 3000);
    int sawOld = 0;
    int sawNew = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Rewrites alternately until killed.
            for (int i = 0;; ++i)
                StationConfigFile::write(m_path, i % 2 ? m_old : m_new);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const QByteArray now = content();
        ASSERT_TRUE(now == oldContent || now == newContent)
            << "round " << round << ": " << now.size() << " bytes";
        (now == oldContent ? sawOld : sawNew)++;
    }
    std::cout << "[ figures  ] killed rewrites: " << sawOld << " left the old file, " << sawNew
              << " the new\n";
}

// A real write cut short: the child may not grow a file beyond 1 KiB, so the 2 KB of new content stop
// part way, as on a full disk. Through a temporary file or in place, the file stays the old one, whole.
TEST_F(StationConfigFileKillTest, WriteCutShortByTheSizeLimitLeavesTheOldFile)
{
    const QByteArray oldContent = StationConfigFile::serialize(m_old);
    ASSERT_GT(StationConfigFile::serialize(m_new).size(), 2048);
    for (const bool inPlace : {false, true}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the process
            const rlimit limit{1024, 1024};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(2);
            const bool written = StationConfigFile::write(m_path, m_new, [inPlace](WriteStep step) {
                return inPlace && step == WriteStep::CreateTemp ? StepOutcome::Fail : StepOutcome::Proceed;
            });
            ::_exit(written ? 1 : 0);
        }
        const int status = reap(child, 10000);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (inPlace ? "in place" : "temporary file") << ": status " << status;
        EXPECT_EQ(content(), oldContent) << (inPlace ? "in place" : "temporary file");
    }
}
