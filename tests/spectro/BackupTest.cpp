#include "SpectroTestSupport.h"
#include "spectro/DataFolderBackup.h"
#include "support/TestConsole.h"

#include <QDir>
#include <QFile>

namespace {

class Backup : public SpectroFixture
{
protected:
    void SetUp() override
    {
        SpectroFixture::SetUp();
        stationState().DataFolder = data.path();
        write(QStringLiteral("A-101-ROUGH.0"), "spectrum one");
        write(QStringLiteral("A-101-ROUGH.dpt"), "4000,0.1\r\n");
        write(QStringLiteral("A-102-ROUGH.dpt"), QByteArray(200000, 'x'));
        QDir(data.path()).mkdir(QStringLiteral("sub"));
        QFile sub(data.filePath(QStringLiteral("sub/inner.dpt")));
        sub.open(QIODevice::WriteOnly);
    }

    void write(const QString& name, const QByteArray& content)
    {
        QFile file(data.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QStringList dataFiles() const { return QDir(data.path()).entryList(QDir::Files, QDir::Name); }
    QString backupFolder() const { return window->console.environment().backupFolder; }

    QTemporaryDir data;
};

TEST_F(Backup, CopiesFilesNotFoldersAndReplacesOlderCopies)
{
    QDir().mkpath(backupFolder());
    QFile old(QDir(backupFolder()).filePath(QStringLiteral("A-101-ROUGH.0")));
    old.open(QIODevice::WriteOnly);
    old.write("older and longer content");
    old.close();
    QFile::setPermissions(old.fileName(), QFile::ReadOwner);

    spectrometer->BackUpDataFolder();
    QDir backup(backupFolder());
    EXPECT_EQ(backup.entryList(QDir::Files, QDir::Name),
              (QStringList{"A-101-ROUGH.0", "A-101-ROUGH.dpt", "A-102-ROUGH.dpt"}));
    QFile copy(backup.filePath(QStringLiteral("A-101-ROUGH.0")));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("spectrum one"));
    EXPECT_EQ(dataFiles().size(), 3);
}

TEST_F(Backup, ReadOnlyFileIsMadeWritableAndCopied)
{
    const QString file = data.filePath(QStringLiteral("A-101-ROUGH.0"));
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup);
    spectrometer->BackUpDataFolder();
    EXPECT_TRUE(QFile::permissions(file) & QFile::WriteOwner);
    EXPECT_TRUE(QFile::exists(QDir(backupFolder()).filePath(QStringLiteral("A-101-ROUGH.0"))));
}

TEST_F(Backup, HiddenReadOnlyFileKeepsItsAttributesAndIsCopied)
{
    write(QStringLiteral(".hidden.0"), "h");
    const QString file = data.filePath(QStringLiteral(".hidden.0"));
    QFile::setPermissions(file, QFile::ReadOwner);
    spectrometer->BackUpDataFolder();
    EXPECT_FALSE(QFile::permissions(file) & QFile::WriteOwner);
    EXPECT_TRUE(QFile::exists(QDir(backupFolder()).filePath(QStringLiteral(".hidden.0"))));
}

TEST_F(Backup, ThenDeleteEmptiesTheDataFolderOfVerifiedFilesOnly)
{
    window->model.setMsg1(QStringLiteral("earlier reply"));
    const BackupReport report = spectrometer->backUpThenDeleteDataFiles();
    EXPECT_EQ(report.files, 3);
    EXPECT_EQ(report.copied, 3);
    EXPECT_EQ(report.deleted, 3);
    EXPECT_EQ(report.failed, 0);
    EXPECT_TRUE(dataFiles().isEmpty());
    EXPECT_TRUE(QFile::exists(data.filePath(QStringLiteral("sub/inner.dpt"))));
    QFile big(QDir(backupFolder()).filePath(QStringLiteral("A-102-ROUGH.dpt")));
    EXPECT_EQ(big.size(), 200000);
    EXPECT_EQ(window->model.msg1Text(), QStringLiteral("earlier reply"));
}

TEST_F(Backup, BackupFolderThatCannotBeCreatedDeletesNothingAndTellsTheOperator)
{
    // A file where the backup folder should be: nothing can be written there.
    QTemporaryDir other;
    const QString blocker = other.filePath(QStringLiteral("blocker"));
    QFile(blocker).open(QIODevice::WriteOnly);
    StationEnvironment env = console.make(TimeScale);
    env.backupFolder = blocker + QStringLiteral("/Opus_bak");
    TestConsole w(env);
    Spectrometer s(w.console, w.op, {});
    const BackupReport report = s.backUpThenDeleteDataFiles();
    EXPECT_FALSE(report.backupFolderReady);
    EXPECT_EQ(report.deleted, 0);
    EXPECT_EQ(report.failed, 3);
    EXPECT_EQ(dataFiles().size(), 3);
    EXPECT_EQ(w.model.msg1Text(), QStringLiteral("Backup to ") + env.backupFolder +
                                      QStringLiteral(" failed: 3 file(s) kept in ") + data.path());
}

TEST_F(Backup, FileWhoseCopyFailsStaysTheOthersGo)
{
    // A folder in the way of one copy.
    QDir().mkpath(QDir(backupFolder()).filePath(QStringLiteral("A-101-ROUGH.dpt/x")));
    const BackupReport report = spectrometer->backUpThenDeleteDataFiles();
    EXPECT_EQ(report.deleted, 2);
    EXPECT_EQ(report.failed, 1);
    EXPECT_EQ(report.keptFiles, QStringList{"A-101-ROUGH.dpt"});
    EXPECT_EQ(dataFiles(), QStringList{"A-101-ROUGH.dpt"});
    EXPECT_TRUE(window->model.msg1Text().contains(QStringLiteral("1 file(s) kept in ") + data.path()));
}

TEST_F(Backup, TemporaryCopiesNeverTouchFilesOfOtherNames)
{
    // An old backup whose name a temporary copy might take; the data file of that name goes too.
    QDir().mkpath(backupFolder());
    const QDir backup(backupFolder());
    QFile oldBackup(backup.filePath(QStringLiteral("A-101-ROUGH.dpt.part")));
    ASSERT_TRUE(oldBackup.open(QIODevice::WriteOnly));
    oldBackup.write("old backup");
    oldBackup.close();

    const BackupReport report = spectrometer->backUpThenDeleteDataFiles();
    EXPECT_EQ(report.deleted, 3);
    ASSERT_TRUE(oldBackup.open(QIODevice::ReadOnly));
    EXPECT_EQ(oldBackup.readAll(), QByteArray("old backup"));
    oldBackup.close();
    // No temporary copy is left behind, hidden or not.
    EXPECT_EQ(backup.entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"A-101-ROUGH.0", "A-101-ROUGH.dpt", "A-101-ROUGH.dpt.part", "A-102-ROUGH.dpt"}));

    // Data files X.part and X, copied in the order that once lost X.part.
    write(QStringLiteral("B.dpt.part"), "part file");
    write(QStringLiteral("B.dpt"), "data file");
    ASSERT_TRUE(DataFolderBackup::copyVerified(data.filePath(QStringLiteral("B.dpt.part")),
                                               backup.filePath(QStringLiteral("B.dpt.part"))));
    ASSERT_TRUE(DataFolderBackup::copyVerified(data.filePath(QStringLiteral("B.dpt")),
                                               backup.filePath(QStringLiteral("B.dpt"))));
    QFile part(backup.filePath(QStringLiteral("B.dpt.part")));
    ASSERT_TRUE(part.open(QIODevice::ReadOnly));
    EXPECT_EQ(part.readAll(), QByteArray("part file"));
}

TEST_F(Backup, CopyKeepsTheFileModeAndReplacesOnlyItsTarget)
{
    const QString source = data.filePath(QStringLiteral("A-101-ROUGH.0"));
    QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QDir().mkpath(backupFolder());
    const QString target = QDir(backupFolder()).filePath(QStringLiteral("A-101-ROUGH.0"));
    ASSERT_TRUE(DataFolderBackup::copyVerified(source, target));
    EXPECT_EQ(QFile::permissions(target) & 0x7777, QFile::permissions(source) & 0x7777);
    ASSERT_TRUE(DataFolderBackup::copyVerified(data.filePath(QStringLiteral("A-101-ROUGH.dpt")), target));
    QFile copy(target);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("4000,0.1\r\n"));
}

TEST_F(Backup, MissingDataFolderStillCreatesTheBackupFolder)
{
    stationState().DataFolder = data.filePath(QStringLiteral("missing"));
    const BackupReport report = spectrometer->backUpThenDeleteDataFiles();
    EXPECT_TRUE(QDir(backupFolder()).exists());
    EXPECT_EQ(report.files, 0);
}

TEST_F(Backup, EmptyDataFolderNeverTouchesTheCurrentFolder)
{
    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    QFile(cwd.filePath(QStringLiteral("d_VELORA.txt"))).open(QIODevice::WriteOnly);
    stationState().DataFolder = "";
    const BackupReport report = spectrometer->backUpThenDeleteDataFiles();
    QDir::setCurrent(previous);
    EXPECT_EQ(report.deleted, 0);
    EXPECT_TRUE(QFile::exists(cwd.filePath(QStringLiteral("d_VELORA.txt"))));
}

} // namespace
