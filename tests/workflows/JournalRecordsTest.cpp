#include "WorkflowBench.h"

#include "core/JournalReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

namespace {

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "<unreadable>";
    return hash.result().toHex();
}

// velora-journal's exit code, standard output and standard error.
struct ReaderOutput
{
    int exitCode = -1;
    QString out;
    QString err;
};

ReaderOutput runReader(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELORA_JOURNAL), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

class JournalRecordsTest : public WorkflowBench
{
protected:
    // Every record of the bench's journal, as lines; a torn or unreadable line fails the test.
    QList<JournalReader::Line> lines() const
    {
        const JournalReader reader(bench->journalFolder());
        QList<JournalReader::Line> all;
        QStringList problems;
        for (const QString& path : reader.dayFiles()) {
            QString error;
            EXPECT_TRUE(reader.read(path, &all, &problems, &error)) << error.toStdString();
        }
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        return all;
    }
    QList<QJsonObject> records() const
    {
        QList<QJsonObject> all;
        for (const JournalReader::Line& line : lines())
            all << line.record;
        return all;
    }
    // The records of the sequence that started with (sequence, stone), in order.
    QList<QJsonObject> runOf(const QString& sequence, const QString& stone) const
    {
        QString run;
        QList<QJsonObject> found;
        for (const QJsonObject& r : records()) {
            if (r.value("event") == QLatin1String("sequence-start") && r.value("sequence") == sequence &&
                r.value("stone") == stone)
                run = r.value("run").toString();
            if (!run.isEmpty() && r.value("run") == run)
                found << r;
        }
        return found;
    }
    static QStringList events(const QList<QJsonObject>& run)
    {
        QStringList names;
        for (const QJsonObject& r : run)
            names << r.value("event").toString();
        return names;
    }

    void registerPolishedStone(const QString& id)
    {
        selectMode(true, w().Polish1);
        driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
            .expect("Move Inside?", "Moving Inside", Yes);
        scanStoneId(id);
        EXPECT_EQ(driver->pending(), 0);
    }

    // Runs velora-journal on the bench's journal.
    using Output = ReaderOutput;
    Output readJournal(QStringList arguments, bool withFolder = true) const
    {
        if (withFolder)
            arguments << QStringLiteral("--folder") << bench->journalFolder();
        return runReader(arguments);
    }
};

TEST_F(JournalRecordsTest, RegistrationAndQueryRecordTheirScansWithTheBackedUpFilesChecksums)
{
    registerPolishedStone(QStringLiteral("P-100"));
    const QString registeredLot = qs(bench->server().lastLotCode());
    const QString stage = s().StageName;
    driver->expect("Move Inside?", "Arm Moving Inside", Yes);
    selectMode(false, w().Polish1);
    driver->expect("Have you Placed the stone ?", "Place the Stone", Yes)
        .expect("Move Inside?", "Arm Moving Inside", Yes);
    scanStoneId(QStringLiteral("P-100"));
    ASSERT_EQ(driver->pending(), 0);
    ASSERT_FALSE(s().QueryId.isEmpty());

    const QList<QJsonObject> all = records();
    ASSERT_FALSE(all.isEmpty());
    EXPECT_EQ(all.first().value("event").toString(), "start");
    EXPECT_EQ(all.first().value("server").toString(), "cloud");
    EXPECT_EQ(all.first().value("dataFolder").toString(), data());
    EXPECT_EQ(all[1].value("event").toString(), "health-check") << "the start-up check follows the start";
    EXPECT_EQ(all[1].value("verdict").toString(), "ok");
    for (const QJsonObject& r : all) {
        EXPECT_EQ(r.value("machine").toString(), "ZENTI");
        EXPECT_TRUE(QDateTime::fromString(r.value("time").toString(), Qt::ISODateWithMs).isValid());
        EXPECT_EQ(r.value("time").toString().mid(19, 4).front(), u'.') << "milliseconds";
    }

    const QList<QJsonObject> registration = runOf("registration", "P-100");
    QStringList expected{"sequence-start"};
    for (int i = 0; i < 6; ++i)
        expected << "scan";
    expected << "backup"
             << "submission"
             << "sequence-end";
    ASSERT_EQ(events(registration), expected);
    EXPECT_EQ(registration[0].value("lot").toString(), registeredLot);
    EXPECT_EQ(registration[0].value("mode").toString(), stage);
    EXPECT_EQ(registration[0].value("experiment").toString(), "POLISH.XPM");

    const auto serverRegistrations = bench->server().registrations();
    ASSERT_EQ(serverRegistrations.size(), 1u);
    const std::vector<std::string>& ids = serverRegistrations[0].submittedIds;
    ASSERT_EQ(ids.size(), 6u);
    QStringList backedUp;
    for (int i = 0; i < 6; ++i) {
        const QJsonObject& scan = registration[i + 1];
        EXPECT_EQ(scan.value("scan").toInt(), i + 1);
        EXPECT_EQ(scan.value("status").toInt(), 201);
        EXPECT_EQ(scan.value("id").toString(), qs(ids[size_t(i)]));
        const QJsonArray files = scan.value("files").toArray();
        ASSERT_EQ(files.size(), 2) << "the .0 and the .dpt of the scan";
        for (const QJsonValue& value : files) {
            const QJsonObject file = value.toObject();
            const QString copy = QDir(bench->backupFolder()).filePath(file.value("name").toString());
            backedUp << file.value("name").toString();
            EXPECT_EQ(file.value("sha256").toString().toLatin1(), sha256Of(copy)) << copy.toStdString();
            EXPECT_EQ(file.value("size").toInteger(), QFileInfo(copy).size());
        }
    }
    EXPECT_EQ(backedUp, spectrumFiles(registeredLot, 6, "-POLISH"));
    EXPECT_EQ(registration[7].value("copied").toInt(), 12);
    EXPECT_EQ(registration[7].value("copiedFiles").toVariant().toStringList(), backedUp);
    EXPECT_TRUE(registration[7].value("failedFiles").toArray().isEmpty());
    EXPECT_TRUE(registration[7].value("kept").toArray().isEmpty());
    EXPECT_EQ(registration[8].value("status").toInt(), 201);
    EXPECT_EQ(registration[9].value("outcome").toString(), "completed");

    const QList<QJsonObject> query = runOf("query", "P-100");
    ASSERT_EQ(events(query).count("scan"), 6);
    EXPECT_EQ(events(query).mid(7), QStringList({"publication", "backup", "sequence-end"}));
    EXPECT_EQ(query[7].value("id").toString(), s().QueryId);
    EXPECT_EQ(query[9].value("outcome").toString(), "completed");
    const QString queryLot = query[0].value("lot").toString();
    for (int i = 1; i <= 6; ++i)
        for (const QJsonValue& file : query[i].value("files").toArray())
            EXPECT_EQ(
                file.toObject().value("sha256").toString().toLatin1(),
                sha256Of(QDir(bench->backupFolder()).filePath(file.toObject().value("name").toString())));

    // The reader: today's table, the lot's records unchanged, clear errors.
    const Output table = readJournal({});
    EXPECT_EQ(table.exitCode, 0) << table.err.toStdString();
    const QStringList rows = table.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3) << table.out.toStdString();
    EXPECT_TRUE(rows[0].startsWith("Started")) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(
        QRegularExpression("registration +P-100 +" + registeredLot + " .* 6/6 +completed +submission 201")))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[2].contains(QRegularExpression("query +P-100 +" + queryLot +
                                                    " .* 6/6 +completed +publication 201 id " + s().QueryId)))
        << rows[2].toStdString();

    const Output json = readJournal({"--json", "--lot", registeredLot});
    EXPECT_EQ(json.exitCode, 0);
    QStringList stored;
    const QString run = registration[0].value("run").toString();
    for (const JournalReader::Line& line : lines())
        if (line.record.value("run") == run)
            stored << QString::fromUtf8(line.text);
    EXPECT_EQ(json.out, stored.join('\n') + '\n');
    EXPECT_EQ(readJournal({"--stone", "P-100", "--since", QDate::currentDate().toString(Qt::ISODate)})
                  .out.count('\n'),
              3);
    EXPECT_TRUE(readJournal({"--stone", "nobody"}).out.startsWith("No matching runs"));

    const Output badDate = readJournal({"--since", "2026-13-40"});
    EXPECT_EQ(badDate.exitCode, 2);
    EXPECT_EQ(badDate.err, "velora-journal: --since wants a day as YYYY-MM-DD, not \"2026-13-40\"\n");
    const Output unknown = readJournal({"--colour"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("colour")) << unknown.err.toStdString();
    const Output noFolder = readJournal({"--folder", bench->journalFolder() + "/missing"}, false);
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_TRUE(noFolder.err.startsWith("velora-journal: there is no journal folder"))
        << noFolder.err.toStdString();
    QFile today(QDir(bench->journalFolder()).filePath(QDate::currentDate().toString(Qt::ISODate) + ".jsonl"));
    ASSERT_TRUE(today.open(QIODevice::Append));
    today.write("{\"time\":\"torn");
    today.close();
    const Output torn = readJournal({});
    EXPECT_EQ(torn.exitCode, 0) << "a torn last line is reported, never fatal";
    EXPECT_EQ(torn.out, table.out);
    EXPECT_TRUE(torn.err.contains("torn last line (not ended) skipped")) << torn.err.toStdString();
}

TEST_F(JournalRecordsTest, AbortsRecordTheirCause)
{
    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", No);
    scanStoneId(QStringLiteral("P-1"));
    EXPECT_EQ(events(runOf("registration", "P-1")), QStringList({"sequence-start", "abort", "sequence-end"}));
    EXPECT_EQ(runOf("registration", "P-1")[1].value("cause").toString(), "No");

    selectMode(true, w().Polish1);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes);
    int measuring = 0;
    QObject::connect(&w(), &ConsoleModel::msgChanged, &w(), [&](const QString& text) {
        if (text == "Measuring .....Now.." && ++measuring == 2)
            postEscape();
    });
    scanStoneId(QStringLiteral("P-2"));
    const QList<QJsonObject> escaped = runOf("registration", "P-2");
    EXPECT_EQ(events(escaped), QStringList({"sequence-start", "scan", "abort", "backup", "sequence-end"}));
    ASSERT_EQ(escaped.size(), 5);
    EXPECT_EQ(escaped[2].value("cause").toString(), "Escape");
    EXPECT_EQ(escaped[4].value("outcome").toString(), "aborted");

    SimFault refusal;
    refusal.status = 503;
    bench->server().setFault("/diamond/addTransactionLog", refusal);
    driver->expect("Move Inside?", "Arm Moving Inside", Yes); // the escaped run left the stage outside
    selectMode(false, w().Polish3);
    driver->expect("Have you Placed the stone ?", "Place the Stone", Yes)
        .expect("Move Inside?", "Arm Moving Inside", Yes)
        .expect("Error: 503 - {\"id\":\"T-000001\"}\n", "Data Not correct", Yes)
        .expect("Data Failed !!!. Continue ?", "Move Stone Postion Slightly !", No)
        .expect("Error: 503 - {\"id\":\"T-000001\"}\n", "Error Message", Yes);
    scanStoneId(QStringLiteral("Q-1"));
    const QList<QJsonObject> refused = runOf("query", "Q-1");
    EXPECT_EQ(events(refused), QStringList({"sequence-start", "scan", "abort", "backup", "sequence-end"}));
    ASSERT_EQ(refused.size(), 5);
    EXPECT_EQ(refused[1].value("status").toInt(), 503);
    EXPECT_EQ(refused[1].value("reply").toString(), "{\"id\":\"T-000001\"}\n");
    EXPECT_EQ(refused[2].value("cause").toString(), "server refusal");
    ASSERT_FALSE(s().AuthToken.isEmpty());
    for (const QJsonObject& r : records())
        EXPECT_FALSE(QJsonDocument(r).toJson().contains(s().AuthToken.toUtf8())) << "no token in the journal";

    console().Form_Unload();
    ASSERT_TRUE(console().hasEnded());
    const QJsonObject start = records().first();
    const QJsonObject close = records().last();
    EXPECT_EQ(close.value("event").toString(), "close");
    for (const char* key :
         {"version", "server", "serverUrl", "dataFolder", "backupFolder", "programFolder"}) {
        EXPECT_FALSE(close.value(key).toString().isEmpty()) << key;
        EXPECT_EQ(close.value(key), start.value(key)) << key;
    }
    EXPECT_EQ(close.value("mode").toString(), s().ModeIndex.toText()) << "the mode the station closed in";
}

// What the paper of the stone says finds its runs; the station's verdict on a scan is the journal's.
TEST_F(JournalRecordsTest, TheScannedTextFindsTheRunAndAnUploadWithoutAnIdIsNotCounted)
{
    selectMode(true, w().Polish1);
    SimFault noId;
    noId.status = 201;
    noId.body = "{}";
    bench->server().setFault("/diamond/UploadDiaMain", noId);
    const QString error = R"(Error: Uploading ..[1]..The reply is too short to hold a value after "id")";
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect(error, "Data Not correct", Yes)
        .expect("Move Stone Postion Slightly !!!! Continue ?", "Data Failed", No)
        .expect(error, "Error Message", Yes);
    scanStoneId(QStringLiteral("P-05#7-2"));
    ASSERT_EQ(driver->pending(), 0);

    const QList<QJsonObject> run = runOf("registration", "P-7.2");
    ASSERT_EQ(events(run).mid(0, 2), QStringList({"sequence-start", "scan"}));
    EXPECT_EQ(run[0].value("scanned").toString(), "P-05#7-2");
    EXPECT_EQ(run[1].value("status").toInt(), 201);
    EXPECT_FALSE(run[1].value("error").toString().isEmpty());
    EXPECT_EQ(run[1].value("reply").toString(), "{}") << "kept: the scan was not taken as uploaded";

    const QString lot = run[0].value("lot").toString();
    for (const char* stone : {"P-05#7-2", "p-7.2"}) {
        const QStringList rows = readJournal({"--stone", stone}).out.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(rows.size(), 2) << stone;
        EXPECT_TRUE(rows[1].contains(QRegularExpression("registration +P-7.2 +" + lot + " .* 0/1 +aborted")))
            << rows[1].toStdString();
    }
}

// A stone text holding control characters is printed escaped, so it cannot move the terminal's cursor.
TEST(JournalReaderTable, ControlCharactersInTextsArePrintedEscaped)
{
    QTemporaryDir dir;
    QFile day(dir.filePath(QDate::currentDate().toString(Qt::ISODate) + ".jsonl"));
    ASSERT_TRUE(day.open(QIODevice::WriteOnly));
    day.write(
        R"({"time":"2026-12-09T10:00:00.000+01:00","machine":"M","event":"sequence-start",)"
        R"("run":"r1","sequence":"query","stone":"P-9\u001b[2J\u0007\r","lot":"VL\u2028x","mode":"ROUGH"})"
        "\n");
    day.close();
    const ReaderOutput table = runReader({"--folder", dir.path()});
    EXPECT_EQ(table.exitCode, 0) << table.err.toStdString();
    const QStringList rows = table.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2) << table.out.toStdString();
    EXPECT_TRUE(rows[1].contains(QStringLiteral("P-9\\x1B[2J\\x07\\x0D "))) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(QStringLiteral("VL\\u2028x "))) << rows[1].toStdString();
    EXPECT_FALSE(table.out.contains(QRegularExpression(QStringLiteral("[\\x00-\\x09\\x0B-\\x1F\\x{2028}]"))));
}

// A journal that cannot be written changes nothing the operator or the peers see, apart from one line.
class UnwritableJournalTest : public JournalRecordsTest
{
protected:
    void SetUp() override {}
    void registerAndCompare(const QString& journalFolder)
    {
        SimBench::Options options;
        options.journalFolder = journalFolder;
        startBench(options);
        registerPolishedStone(QStringLiteral("P-7"));
        EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
        EXPECT_EQ(requestsTo("/diamond/UploadDiaMain").size(), 6u);
        EXPECT_EQ(requestsTo("/diamond/submitMainFiles").size(), 1u);
        EXPECT_EQ(bench->backupFiles().size(), 12);
        const QStringList notes =
            (bench->startupMsg1Texts() + bench->msg1Texts()).filter("Journal not written");
        ASSERT_EQ(notes.size(), 1) << bench->msg1Texts().join('\n').toStdString();
        EXPECT_TRUE(notes[0].startsWith("Journal not written (the station goes on): "));
        EXPECT_TRUE(
            appearInOrder(bench->msgTexts(), {"Submitting Main Files !!!", "Querying on Server......."}));
        EXPECT_TRUE(bench->msgTexts().back().startsWith("Response: "))
            << bench->msgTexts().back().toStdString();
    }
};

TEST_F(UnwritableJournalTest, ReadOnlyFolderDoesNotDisturbARegistration)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("journal");
    ASSERT_TRUE(QDir().mkpath(folder));
    auto writable = [&folder] {
        QFile probe(QDir(folder).filePath("probe"));
        return probe.open(QIODevice::WriteOnly) && probe.remove();
    };
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    // Root writes into read-only folders; an immutable folder stops it too.
    const bool immutable = writable() && QProcess::execute("chattr", {"+i", folder}) == 0;
    const auto restore = qScopeGuard([&] {
        if (immutable)
            QProcess::execute("chattr", {"-i", folder});
        QFile::setPermissions(folder,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    if (writable())
        GTEST_SKIP() << "no way to make a folder read-only for this user here";
    registerAndCompare(folder);
}

TEST_F(UnwritableJournalTest, FolderThatCannotBeMadeDoesNotDisturbARegistration)
{
    // A regular file where the folder's parent should be: not even root can write there.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    registerAndCompare(dir.filePath("blocked/journal"));
}

} // namespace
