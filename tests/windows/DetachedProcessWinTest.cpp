#include "core/DetachedProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

bool waitForFile(const QString& path, int timeoutMs = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path) && timer.elapsed() < timeoutMs)
        QThread::msleep(20);
    return QFile::exists(path);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// The site's batch file beside the program, in a folder whose name has blanks and accents: it runs in
// the command processor and sees its own folder and the arguments it was given.
TEST(DetachedProcessWin, BatchFileRunsFromAFolderWithBlanksAndAccents)
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("Programmes VELORA données"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString batch = folder + QStringLiteral("/VELORA1.bat");
    QFile file(batch);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("@echo off\r\necho %~1>\"%~dp0started.txt\"\r\n");
    file.close();

    ASSERT_TRUE(startDetachedProcess(batch, {QStringLiteral("two words")}));
    const QString marker = folder + QStringLiteral("/started.txt");
    ASSERT_TRUE(waitForFile(marker));
    QThread::msleep(200);
    EXPECT_EQ(contentOf(marker), QByteArray("two words"));
}

TEST(DetachedProcessWin, MissingProgramsAreReported)
{
    QTemporaryDir root;
    EXPECT_FALSE(startDetachedProcess(root.filePath(QStringLiteral("VELORA1.bat")), {}));
    EXPECT_FALSE(startDetachedProcess(root.filePath(QStringLiteral("absent.exe")), {}));
    EXPECT_FALSE(startDetachedProcess(QString(), {}));
}

} // namespace
