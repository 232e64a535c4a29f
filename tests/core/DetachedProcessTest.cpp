#include "core/DetachedProcess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

bool waitForFile(const QString& path, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path) && timer.elapsed() < timeoutMs)
        QThread::msleep(10);
    return QFile::exists(path);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(DetachedProcess, ArgumentsArriveWordForWord)
{
    QTemporaryDir dir;
    const QString spaced = dir.filePath(QStringLiteral("with space"));
    ASSERT_TRUE(startDetachedProcess(QStringLiteral("touch"), {spaced}));
    ASSERT_TRUE(waitForFile(spaced));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("with"))));

    const QString out = dir.filePath(QStringLiteral("out"));
    const QStringList words{QStringLiteral("a b"),
                            QStringLiteral("-platform"),
                            QStringLiteral("$(touch x)"),
                            QStringLiteral("\"q\""),
                            QString(),
                            QStringLiteral("*")};
    ASSERT_TRUE(startDetachedProcess(QStringLiteral("/bin/sh"),
                                     QStringList{QStringLiteral("-c"),
                                                 QStringLiteral("printf '%s|' \"$@\" > \"$0.part\" && mv "
                                                                "\"$0.part\" \"$0\""),
                                                 out} +
                                         words));
    ASSERT_TRUE(waitForFile(out));
    EXPECT_EQ(contentOf(out), QByteArray("a b|-platform|$(touch x)|\"q\"||*|"));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("x"))));
}

// A program folder with a blank and shell characters in its name is only a path.
TEST(DetachedProcess, ScriptInAFolderWithShellCharactersStarts)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Program Files; touch hacked & $(id)"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString script = QDir(folder).filePath(QStringLiteral("VELORA1.bat"));
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho started > \"$(dirname \"$0\")/marker\"\n");
    }
    ASSERT_TRUE(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(startDetachedProcess(script, {}));
    ASSERT_TRUE(waitForFile(QDir(folder).filePath(QStringLiteral("marker"))));
    EXPECT_FALSE(QFile::exists(QStringLiteral("hacked")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("hacked"))));
}

TEST(DetachedProcess, WhatCannotStartIsReported)
{
    QTemporaryDir dir;
    EXPECT_FALSE(startDetachedProcess(dir.filePath(QStringLiteral("missing.bat")), {}));
    EXPECT_FALSE(startDetachedProcess(QString(), {}));
    const QString plain = dir.filePath(QStringLiteral("VELORA1.bat"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
    }
    ASSERT_TRUE(QFile::setPermissions(plain, QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_FALSE(startDetachedProcess(plain, {})) << "not executable";
}

} // namespace
