#include "SimSpectrometer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Fault = SimSpectrometer::ScanFault;

class SpectrumCheckCommandTest : public ::testing::Test
{
protected:
    struct Output
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Output run(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(VELORA_SPECTRUM_CHECK), arguments);
        EXPECT_TRUE(process.waitForFinished(20000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return name;
    }

    QTemporaryDir dir;
};

TEST_F(SpectrumCheckCommandTest, PrintsEachVerdictAndFailsWhenOneFails)
{
    QStringList good;
    for (int i = 0; i < 3; ++i)
        good << write(QStringLiteral("S-10%1-ROUGH.dpt").arg(i + 1), SimSpectrometer::spectrumFor("S", i));
    const Output passed = run(QStringList{"--sequence"} + good);
    EXPECT_EQ(passed.exitCode, 0) << passed.err.toStdString();
    const QStringList lines = passed.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << passed.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("File") && lines[0].contains("Verdict") && lines[0].contains("Noise"));
    EXPECT_TRUE(lines[1].contains("passed") && lines[1].contains("3601") && lines[1].contains("400-4000"));
    EXPECT_TRUE(lines[1].contains(" - ")) << "the first scan has nothing to be compared with";

    const QString slipped = write("S-104-ROUGH.dpt", SimSpectrometer::spectrumFor("S", 3, Fault::Slipped));
    const QString empty = write("E.dpt", SimSpectrometer::spectrumFor("S", 3, Fault::EmptyStage));
    const QString cut = write("C.dpt", SimSpectrometer::spectrumFor("S", 4).left(30000));
    const Output failed =
        run(QStringList{"--sequence", "--json"} + good + QStringList{slipped, empty, cut, "none.dpt"});
    EXPECT_EQ(failed.exitCode, 1);
    const QJsonArray verdicts = QJsonDocument::fromJson(failed.out.toUtf8()).array();
    ASSERT_EQ(verdicts.size(), 7) << failed.out.toStdString();
    const char* expected[][2] = {{"passed", ""},          {"passed", ""},        {"passed", ""},
                                 {"failed", "disagrees"}, {"failed", "no-band"}, {"failed", "truncated"},
                                 {"failed", "unreadable"}};
    for (int i = 0; i < 7; ++i) {
        const QJsonObject v = verdicts[i].toObject();
        EXPECT_EQ(v.value("verdict").toString(), QLatin1String(expected[i][0])) << i;
        EXPECT_EQ(v.value("findings").toArray().first().toString(), QLatin1String(expected[i][1])) << i;
    }
    EXPECT_TRUE(verdicts[1].toObject().contains("similarity"));
    EXPECT_EQ(verdicts[6].toObject().value("file").toString(), "none.dpt");

    // Without --sequence a scan is judged alone: the slipped one then shows no fault of its own.
    EXPECT_EQ(run({slipped}).exitCode, 0);
}

TEST_F(SpectrumCheckCommandTest, TakesTheSitesLimitsAndRefusesBadOptions)
{
    const QString noisy = write("N.dpt", SimSpectrometer::spectrumFor("S", 0, Fault::Noisy));
    EXPECT_EQ(run({noisy}).exitCode, 1);
    write("station.ini", "[quality]\nmax_noise = 0.5\n");
    EXPECT_EQ(run({"--settings", dir.filePath("station.ini"), noisy}).exitCode, 0);
    write("bad.ini", "[quality]\nmax_noise = loud\n");
    const Output bad = run({"--settings", dir.filePath("bad.ini"), noisy});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("[quality] max_noise")) << bad.err.toStdString();
    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({"--frobnicate", noisy}).exitCode, 2);
}

} // namespace
