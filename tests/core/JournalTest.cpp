#include "core/Journal.h"
#include "core/JournalReader.h"
#include "core/StationState.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimeZone>

namespace {

class JournalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        stationState() = StationState{};
        stationState().UserName = QStringLiteral("BENCH-7");
    }

    QString folder() const { return m_dir.filePath(QStringLiteral("journal")); }
    Journal journalAt(const QDateTime& time) const
    {
        return Journal(folder(), [time] { return time; });
    }
    QList<JournalReader::Line> read(const QString& file, QStringList* problems) const
    {
        QList<JournalReader::Line> lines;
        QString error;
        EXPECT_TRUE(JournalReader(folder()).read(file, &lines, problems, &error)) << error.toStdString();
        return lines;
    }
    static void appendRaw(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
        file.write(bytes);
    }

    const QDateTime m_noon{QDate(2026, 12, 9), QTime(12, 34, 56, 789), QTimeZone(3600)};
    QTemporaryDir m_dir;
};

TEST_F(JournalTest, RecordsLeadWithTimeMachineEventAndCarryTheRun)
{
    Journal journal = journalAt(m_noon);
    ASSERT_TRUE(
        journal.record(QStringLiteral("start"), {{QStringLiteral("version"), QStringLiteral("1.0.0")}}));
    journal.beginRun({{QStringLiteral("stone"), QStringLiteral("LOT\"7")},
                      {QStringLiteral("lot"), QStringLiteral("VL1")}});
    journal.record(QStringLiteral("scan"), {{QStringLiteral("scan"), 1}});
    journal.endRun(QStringLiteral("No"));
    journal.record(QStringLiteral("close"));

    QFile file(journal.fileFor(m_noon.date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.fileName().endsWith(QStringLiteral("/2026-12-09.jsonl")));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 7) << "six records, each ended by a line feed";
    EXPECT_TRUE(lines.last().isEmpty());
    EXPECT_EQ(lines[0],
              "{\"time\":\"2026-12-09T12:34:56.789+01:00\",\"machine\":\"BENCH-7\",\"event\":\"start\","
              "\"version\":\"1.0.0\"}");
    const QString run = QStringLiteral("2026-12-09T12:34:56.789+01:00");
    const QStringList events{"sequence-start", "scan", "abort", "sequence-end"};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject record = QJsonDocument::fromJson(lines[i + 1]).object();
        EXPECT_EQ(record.value("event").toString(), events[i]);
        EXPECT_EQ(record.value("run").toString(), run) << "every record of the sequence names its run";
    }
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object().value("stone").toString(), "LOT\"7");
    EXPECT_EQ(QJsonDocument::fromJson(lines[3]).object().value("cause").toString(), "No")
        << "a sequence ended without completion or abort was left by a No";
    EXPECT_EQ(QJsonDocument::fromJson(lines[4]).object().value("outcome").toString(), "aborted");
    EXPECT_FALSE(QJsonDocument::fromJson(lines[5]).object().contains("run"));
}

TEST_F(JournalTest, CompletedAndAbortedRunsEndAsSaid)
{
    Journal journal = journalAt(m_noon);
    journal.beginRun({});
    journal.completeRun();
    journal.endRun(QStringLiteral("No"));
    journal.beginRun({});
    journal.abortRun(QStringLiteral("Escape"));
    journal.endRun(QStringLiteral("No"));
    QStringList problems;
    QStringList outcomes;
    QStringList causes;
    for (const JournalReader::Line& line : read(journal.fileFor(m_noon.date()), &problems)) {
        if (line.record.value("event") == QLatin1String("sequence-end"))
            outcomes << line.record.value("outcome").toString();
        if (line.record.value("event") == QLatin1String("abort"))
            causes << line.record.value("cause").toString();
    }
    EXPECT_EQ(outcomes, QStringList({"completed", "aborted"}));
    EXPECT_EQ(causes, QStringList({"Escape"}));
    EXPECT_TRUE(problems.isEmpty());
}

TEST_F(JournalTest, TornLastLineIsSkippedReportedAndNotGluedToTheNextRecord)
{
    Journal first = journalAt(m_noon);
    first.record(QStringLiteral("start"));
    const QString path = first.fileFor(m_noon.date());
    appendRaw(path, "{\"time\":\"2026-12-09T12:35:00.000+01:00\",\"machine\":\"BENCH-7\",\"ev");

    QStringList problems;
    EXPECT_EQ(read(path, &problems).size(), 1);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0], "2026-12-09.jsonl line 2: torn last line (not ended) skipped");

    // The station started again after the power cut.
    Journal second = journalAt(m_noon);
    ASSERT_TRUE(second.record(QStringLiteral("start")));
    problems.clear();
    const QList<JournalReader::Line> lines = read(path, &problems);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].number, 3);
    EXPECT_EQ(lines[1].record.value("event").toString(), "start");
    EXPECT_EQ(problems, QStringList({"2026-12-09.jsonl line 2: unreadable line skipped"}));
}

TEST_F(JournalTest, UnwritableJournalIsReportedOnceAndNeverThrows)
{
    // A regular file where the folder should be: no folder can be made, even by root.
    appendRaw(m_dir.filePath(QStringLiteral("blocked")), "x");
    Journal journal(m_dir.filePath(QStringLiteral("blocked/journal")));
    QStringList reports;
    journal.setFailureReporter([&reports](const QString& text) { reports << text; });
    EXPECT_FALSE(journal.record(QStringLiteral("start")));
    journal.beginRun({});
    EXPECT_FALSE(journal.record(QStringLiteral("scan")));
    journal.endRun(QStringLiteral("No"));
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].startsWith(QStringLiteral("Journal not written (the station goes on): ")))
        << reports[0].toStdString();

    // No folder configured: a journal that does nothing and says nothing.
    Journal none;
    none.setFailureReporter([&reports](const QString& text) { reports << text; });
    EXPECT_FALSE(none.record(QStringLiteral("start")));
    EXPECT_EQ(reports.size(), 1);
}

TEST_F(JournalTest, PruneRemovesDayFilesOlderThan180Days)
{
    QDir().mkpath(folder());
    const QDate today = m_noon.date();
    const QStringList names{today.addDays(-181).toString(Qt::ISODate) + ".jsonl",
                            today.addDays(-180).toString(Qt::ISODate) + ".jsonl",
                            today.toString(Qt::ISODate) + ".jsonl", "notes.jsonl", "2025-01-01.txt"};
    for (const QString& name : names)
        appendRaw(QDir(folder()).filePath(name), "{}\n");
    Journal journal = journalAt(m_noon);
    EXPECT_EQ(journal.prune(), QStringList({names[0]}));
    for (int i = 1; i < names.size(); ++i)
        EXPECT_TRUE(QFile::exists(QDir(folder()).filePath(names[i]))) << names[i].toStdString();
}

TEST_F(JournalTest, UnfinishedRunIsTheLastStartWithoutEnd)
{
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    for (const char* name : {"VL9-101-ROUGH.0", "VL9-101-ROUGH.dpt", "VL9-102-ROUGH.0", "VL9-102-ROUGH.dpt",
                             "VL9-103-ROUGH.0", "OTHER-101-ROUGH.0"})
        appendRaw(QDir(data).filePath(QString::fromLatin1(name)), "spectrum");

    Journal yesterday = journalAt(m_noon.addDays(-1));
    yesterday.beginRun({});
    yesterday.endRun(QStringLiteral("No"));
    EXPECT_FALSE(JournalReader(folder()).lastUnfinishedRun()) << "the last run ended";

    Journal journal = journalAt(m_noon);
    journal.beginRun({{QStringLiteral("sequence"), QStringLiteral("registration")},
                      {QStringLiteral("stone"), QStringLiteral("LOT123-7.2")},
                      {QStringLiteral("lot"), QStringLiteral("VL9")},
                      {QStringLiteral("dataFolder"), data}});
    const QJsonArray files{QJsonObject{{QStringLiteral("name"), QStringLiteral("VL9-101-ROUGH.dpt")}}};
    journal.record(
        QStringLiteral("scan"),
        {{QStringLiteral("scan"), 1}, {QStringLiteral("status"), 201}, {QStringLiteral("files"), files}});
    journal.record(
        QStringLiteral("scan"),
        {{QStringLiteral("scan"), 2}, {QStringLiteral("status"), 500}, {QStringLiteral("files"), files}});
    journal.record(
        QStringLiteral("scan"),
        {{QStringLiteral("scan"), 2}, {QStringLiteral("status"), 201}, {QStringLiteral("files"), files}});
    // Accepted, but the reply gave no id: the station took the scan as failed.
    journal.record(QStringLiteral("scan"), {{QStringLiteral("scan"), 3},
                                            {QStringLiteral("status"), 201},
                                            {QStringLiteral("error"), QStringLiteral("no id")},
                                            {QStringLiteral("files"), files}});
    journal.record(QStringLiteral("health-check"));

    const auto unfinished = JournalReader(folder()).lastUnfinishedRun();
    ASSERT_TRUE(unfinished);
    EXPECT_EQ(unfinished->scansUploaded, 2) << "a repeated scan counts once, one without an id not at all";
    EXPECT_EQ(unfinished->scansSaved, 3) << "the third scan's file is in the data folder, not yet uploaded";
    const QString notice = JournalReader::notice(*unfinished);
    EXPECT_EQ(notice, QStringLiteral("Unfinished registration of stone LOT123-7.2, lot code VL9 (started "
                                     "2026-12-09 12:34:56): 3 scan(s) saved, 2 uploaded; the files are in ") +
                          QDir::toNativeSeparators(data));

    journal.record(QStringLiteral("interrupted"));
    EXPECT_FALSE(JournalReader(folder()).lastUnfinishedRun()) << "told once, then it is history";
}

// Where the notice sends the operator: the folder that holds the run's files, as this machine names it.
TEST_F(JournalTest, UnfinishedRunNoticeNamesTheFolderThatHoldsTheFiles)
{
    const QString data = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("data")));
    const QString share = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("share")));
    const QString backup = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("backup")));
    auto backedUp = [&](int copied, QStringList kept) {
        return QJsonObject{{QStringLiteral("backupFolder"), backup},
                           {QStringLiteral("copied"), copied},
                           {QStringLiteral("kept"), QJsonArray::fromStringList(kept)}};
    };
    struct Case
    {
        const char* name;
        QString localDataFolder; // empty: not a split deployment
        QJsonObject backup;      // empty: no backup record
        QString where;
    };
    const QList<Case> cases{
        {"NotBackedUp", {}, {}, data},
        {"AllBackedUp", {}, backedUp(4, {}), backup},
        {"PartlyBackedUp",
         {},
         backedUp(3, {"VL9-102-ROUGH.dpt"}),
         backup + QStringLiteral(" (3 file(s)) and ") + data + QStringLiteral(" (1 file(s))")},
        {"NoCopyMade", {}, backedUp(0, {"VL9-101-ROUGH.0", "VL9-101-ROUGH.dpt"}), data},
        {"SplitDeployment", share, {}, share},
        {"SplitDeploymentPartlyBackedUp", share, backedUp(1, {"VL9-101-ROUGH.0"}),
         backup + QStringLiteral(" (1 file(s)) and ") + share + QStringLiteral(" (1 file(s))")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder()).removeRecursively();
        Journal journal = journalAt(m_noon);
        QJsonObject start{
            {QStringLiteral("sequence"), QStringLiteral("query")},
            {QStringLiteral("stone"), QStringLiteral("S1")},
            {QStringLiteral("lot"), QStringLiteral("VL9")},
            {QStringLiteral("dataFolder"), c.localDataFolder.isEmpty() ? data : QStringLiteral("D:\\Data")},
            {QStringLiteral("backupFolder"), backup}};
        if (!c.localDataFolder.isEmpty())
            start.insert(QStringLiteral("localDataFolder"), c.localDataFolder);
        journal.beginRun(start);
        if (!c.backup.isEmpty())
            journal.record(QStringLiteral("backup"), c.backup);
        const auto unfinished = JournalReader(folder()).lastUnfinishedRun();
        ASSERT_TRUE(unfinished);
        EXPECT_EQ(
            JournalReader::notice(*unfinished),
            QStringLiteral("Unfinished query of stone S1, lot code VL9 (started 2026-12-09 12:34:56): 0 "
                           "scan(s) saved, 0 uploaded; the files are in ") +
                c.where);
    }
}

TEST_F(JournalTest, FilesAreDescribedByNameSizeAndSha256)
{
    const QString path = m_dir.filePath(QStringLiteral("a.dpt"));
    appendRaw(path, "abc");
    const QJsonArray files = Journal::describeFiles({path, m_dir.filePath(QStringLiteral("missing.dpt"))});
    ASSERT_EQ(files.size(), 2);
    const QJsonObject file = files[0].toObject();
    EXPECT_EQ(file.value("name").toString(), "a.dpt");
    EXPECT_EQ(file.value("size").toInt(), 3);
    EXPECT_EQ(file.value("sha256").toString(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(files[1].toObject().contains("error"));
    EXPECT_FALSE(files[1].toObject().contains("sha256"));
}

} // namespace
