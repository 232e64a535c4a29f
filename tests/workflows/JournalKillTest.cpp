#include "core/JournalReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

namespace {

// A station process killed with SIGKILL in the middle of a registration, then started again.
class JournalKillTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString journal() const { return m_dir.filePath("journal"); }
    void startHost(QProcess& process, const char* mode)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(JOURNAL_STATION_HOST),
                      {journal(), m_dir.path(), QString::fromLatin1(mode)});
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Reads the host's lines until one starts with word; all of them go to seen.
    static bool readUntil(QProcess& process, const QString& word, QStringList* seen, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).chopped(1);
                *seen << line;
                if (line.startsWith(word))
                    return true;
            }
            if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    QTemporaryDir m_dir;
};

TEST_F(JournalKillTest, KilledDuringTheThirdScanTheNextStartTellsWhatWasLeft)
{
    QProcess killed;
    startHost(killed, "register");
    QStringList seen;
    ASSERT_TRUE(readUntil(killed, "THIRD", &seen, 120000)) << seen.join('\n').toStdString();
    ::kill(pid_t(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(10000));
    EXPECT_EQ(killed.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(seen.contains("DONE"));
    const QStringList dataLines = seen.filter(QRegularExpression("^DATA "));
    ASSERT_EQ(dataLines.size(), 1);
    const QString data = dataLines[0].mid(5);

    // The journal as the killed station left it: readable, the run without an end.
    const JournalReader reader(journal());
    const auto unfinished = reader.lastUnfinishedRun();
    ASSERT_TRUE(unfinished);
    EXPECT_TRUE(unfinished->problems.isEmpty()) << unfinished->problems.join('\n').toStdString();
    EXPECT_EQ(unfinished->start.value("stone").toString(), "P-3");
    const QString lot = unfinished->start.value("lot").toString();
    ASSERT_FALSE(lot.isEmpty());
    EXPECT_GE(unfinished->scansUploaded, 2) << "two scans were uploaded before the third began";
    EXPECT_LE(unfinished->scansUploaded, 3);
    EXPECT_GE(unfinished->scansSaved, unfinished->scansUploaded);
    const QStringList left = QDir(data).entryList({lot + "-*"}, QDir::Files);
    EXPECT_GE(left.size(), 2 * unfinished->scansUploaded)
        << "the uploaded scans' files are still in the data folder";

    QProcess again;
    startHost(again, "start");
    ASSERT_TRUE(again.waitForFinished(120000));
    EXPECT_EQ(again.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(again.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    const QString notice =
        QStringLiteral("MSG1 Unfinished registration of stone P-3, lot code %1 (started ").arg(lot);
    const QStringList notices = lines.filter(notice);
    ASSERT_FALSE(notices.isEmpty()) << lines.join('\n').toStdString();
    EXPECT_TRUE(notices[0].endsWith(QStringLiteral("): %1 scan(s) saved, %2 uploaded; the files are in %3")
                                        .arg(unfinished->scansSaved)
                                        .arg(unfinished->scansUploaded)
                                        .arg(data)))
        << notices[0].toStdString();
    EXPECT_TRUE(lines.last().startsWith(notice)) << "Msg1 still shows it when the console is ready";

    // Told once: the journal now records the interruption, and every line of it reads.
    EXPECT_FALSE(reader.lastUnfinishedRun());
    QList<JournalReader::Line> records;
    QStringList problems;
    for (const QString& path : reader.dayFiles()) {
        QString error;
        EXPECT_TRUE(reader.read(path, &records, &problems, &error)) << error.toStdString();
    }
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    QStringList events;
    for (const JournalReader::Line& line : records)
        events << line.record.value("event").toString();
    EXPECT_EQ(events.count("start"), 2);
    EXPECT_EQ(events.count("interrupted"), 1);
    EXPECT_EQ(events.count("sequence-end"), 0);
}

} // namespace
