#include "core/StationConfigFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using StationConfigFile::StepOutcome;
using StationConfigFile::Values;
using StationConfigFile::WriteStep;

class StationConfigFileWriteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = StationConfigFile::path(m_dir.path());
        m_old[0] = StoredValue("3");
        m_old[1] = StoredValue("300");
        m_old[13] = StoredValue(1200);
        m_old[16] = StoredValue("ZENTI");
        m_new = m_old;
        m_new[1] = StoredValue("450");
        m_new[14] = StoredValue(400);
        m_new[16] = StoredValue("operator \"night\"");
    }

    void putFile(const QByteArray& content)
    {
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(content), content.size());
    }

    QByteArray fileContent() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<unreadable>");
        return file.readAll();
    }

    ino_t inode(const QString& path) const
    {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
    }

    QStringList filesInFolder() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
    QString m_path;
    Values m_old;
    Values m_new;
};

TEST_F(StationConfigFileWriteTest, ReadWithoutAFileGivesNothing)
{
    EXPECT_FALSE(StationConfigFile::read(m_path).has_value());
}

TEST_F(StationConfigFileWriteTest, ReadParsesTheFile)
{
    putFile(StationConfigFile::serialize(m_old));
    const auto values = StationConfigFile::read(m_path);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, m_old);
}

TEST_F(StationConfigFileWriteTest, FileThatCannotBeOpenedReadsAsAllEmpty)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d_VELORA.txt")));
    const auto values = StationConfigFile::read(m_path);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, Values{});
}

TEST_F(StationConfigFileWriteTest, UnreadableFileReadsAsAllEmpty)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    putFile(StationConfigFile::serialize(m_old));
    ASSERT_TRUE(QFile::setPermissions(m_path, QFileDevice::WriteOwner));
    const auto values = StationConfigFile::read(m_path);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, Values{});
}

TEST_F(StationConfigFileWriteTest, NeverCreatesTheFile)
{
    EXPECT_FALSE(StationConfigFile::write(m_path, m_new));
    EXPECT_FALSE(QFile::exists(m_path));
    EXPECT_TRUE(filesInFolder().isEmpty());
}

TEST_F(StationConfigFileWriteTest, RewritesAnExistingFileAndKeepsItsPermissions)
{
    putFile("old content that is longer than the new one will be, by quite a margin .............\r\n");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(m_path, permissions));

    ASSERT_TRUE(StationConfigFile::write(m_path, m_new));
    EXPECT_EQ(fileContent(), StationConfigFile::serialize(m_new));
    EXPECT_EQ(StationConfigFile::read(m_path), m_new);
    EXPECT_EQ(QFile::permissions(m_path) & 0x7077, permissions); // owner, group, other
    EXPECT_EQ(filesInFolder(), QStringList{QStringLiteral("d_VELORA.txt")});
}

TEST_F(StationConfigFileWriteTest, RewriteThroughALinkKeepsTheLink)
{
    const QString real = m_dir.filePath(QStringLiteral("real.txt"));
    {
        QFile file(real);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(StationConfigFile::serialize(m_old));
    }
    ASSERT_TRUE(QFile::link(real, m_path));
    ASSERT_TRUE(StationConfigFile::write(m_path, m_new));
    EXPECT_TRUE(QFileInfo(m_path).isSymLink());
    EXPECT_EQ(StationConfigFile::read(real), m_new);
}

TEST_F(StationConfigFileWriteTest, FileDeletedMeanwhileIsNotWritten)
{
    putFile(StationConfigFile::serialize(m_old));
    ASSERT_TRUE(QFile::remove(m_path));
    EXPECT_FALSE(StationConfigFile::write(m_path, m_new));
    EXPECT_FALSE(QFile::exists(m_path));
}

TEST_F(StationConfigFileWriteTest, StepsRunInOrder)
{
    putFile(StationConfigFile::serialize(m_old));
    std::vector<WriteStep> seen;
    ASSERT_TRUE(StationConfigFile::write(m_path, m_new, [&](WriteStep step) {
        seen.push_back(step);
        return StepOutcome::Proceed;
    }));
    const std::vector<WriteStep> expected{WriteStep::CreateTemp, WriteStep::Write, WriteStep::Flush,
                                          WriteStep::Sync,       WriteStep::Close, WriteStep::Rename};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(fileContent(), StationConfigFile::serialize(m_new));
}

struct FailureCase
{
    WriteStep step;
    StepOutcome outcome;
    const char* label;
};

class StationConfigFileFailureTest : public StationConfigFileWriteTest,
                                     public ::testing::WithParamInterface<FailureCase>
{
};

// Whatever step fails or wherever the process dies, the file is the old one, whole; a failure cleans up
// after itself, and the next rewrite succeeds.
TEST_P(StationConfigFileFailureTest, OldFileStaysWhole)
{
    const QByteArray oldContent = StationConfigFile::serialize(m_old);
    putFile(oldContent);
    const FailureCase c = GetParam();

    const bool written = StationConfigFile::write(
        m_path, m_new, [&](WriteStep step) { return step == c.step ? c.outcome : StepOutcome::Proceed; });

    EXPECT_FALSE(written);
    EXPECT_EQ(fileContent(), oldContent);
    EXPECT_EQ(StationConfigFile::read(m_path), m_old);
    if (c.outcome == StepOutcome::Fail) {
        EXPECT_EQ(filesInFolder(), QStringList{QStringLiteral("d_VELORA.txt")});
    }

    ASSERT_TRUE(StationConfigFile::write(m_path, m_new));
    EXPECT_EQ(fileContent(), StationConfigFile::serialize(m_new));
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, StationConfigFileFailureTest,
    ::testing::Values(FailureCase{WriteStep::Write, StepOutcome::Fail, "write fails half way"},
                      FailureCase{WriteStep::Flush, StepOutcome::Fail, "flush fails"},
                      FailureCase{WriteStep::Sync, StepOutcome::Fail, "sync fails"},
                      FailureCase{WriteStep::Close, StepOutcome::Fail, "close fails"},
                      FailureCase{WriteStep::Rename, StepOutcome::Fail, "rename fails"},
                      FailureCase{WriteStep::CreateTemp, StepOutcome::Abandon, "dies before create"},
                      FailureCase{WriteStep::Write, StepOutcome::Abandon, "dies while writing"},
                      FailureCase{WriteStep::Flush, StepOutcome::Abandon, "dies before flush"},
                      FailureCase{WriteStep::Sync, StepOutcome::Abandon, "dies before sync"},
                      FailureCase{WriteStep::Close, StepOutcome::Abandon, "dies before close"},
                      FailureCase{WriteStep::Rename, StepOutcome::Abandon, "dies before rename"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
        std::string name = info.param.label;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

struct InPlaceFailure
{
    WriteStep step;
    bool leavesNew; // the new content was on the disk before the step failed
    const char* label;
};

class StationConfigFileInPlaceFailureTest : public StationConfigFileWriteTest,
                                            public ::testing::WithParamInterface<InPlaceFailure>
{
};

// Rewritten in place (the folder takes no new file), a failure leaves the old content or the new one,
// whole, never the first half of one over the rest of the other.
TEST_P(StationConfigFileInPlaceFailureTest, FileIsOldOrNewWhole)
{
    const QByteArray oldContent = StationConfigFile::serialize(m_old);
    putFile(oldContent);
    const InPlaceFailure c = GetParam();

    const bool written = StationConfigFile::write(m_path, m_new, [&](WriteStep step) {
        return step == WriteStep::CreateTemp || step == c.step ? StepOutcome::Fail : StepOutcome::Proceed;
    });

    EXPECT_FALSE(written);
    EXPECT_EQ(fileContent(), c.leavesNew ? StationConfigFile::serialize(m_new) : oldContent);
    EXPECT_EQ(filesInFolder(), QStringList{QStringLiteral("d_VELORA.txt")});
    ASSERT_TRUE(StationConfigFile::write(m_path, m_new));
    EXPECT_EQ(fileContent(), StationConfigFile::serialize(m_new));
}

INSTANTIATE_TEST_SUITE_P(EachStep, StationConfigFileInPlaceFailureTest,
                         ::testing::Values(InPlaceFailure{WriteStep::OpenInPlace, false, "open fails"},
                                           InPlaceFailure{WriteStep::Write, false, "write fails half way"},
                                           InPlaceFailure{WriteStep::Sync, false, "sync fails"},
                                           InPlaceFailure{WriteStep::Close, true, "close fails"}),
                         [](const ::testing::TestParamInfo<InPlaceFailure>& info) {
                             std::string name = info.param.label;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST_F(StationConfigFileWriteTest, RenameOntoAFolderFailsAndCleansUp)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("d_VELORA.txt")));
    EXPECT_FALSE(StationConfigFile::write(m_path, m_new));
    EXPECT_TRUE(QFileInfo(m_path).isDir());
    EXPECT_TRUE(filesInFolder().isEmpty());
}

// A program folder that takes no new file while d_VELORA.txt itself is writable.
TEST_F(StationConfigFileWriteTest, TempFileThatCannotBeCreatedFallsBackToRewritingInPlace)
{
    putFile("old content that is longer than the new one will be, by quite a margin .............\r\n"
            "and a second line of it ...................................................\r\n");
    const ino_t before = inode(m_path);
    std::vector<WriteStep> seen;
    ASSERT_TRUE(StationConfigFile::write(m_path, m_new, [&](WriteStep step) {
        seen.push_back(step);
        return step == WriteStep::CreateTemp ? StepOutcome::Fail : StepOutcome::Proceed;
    }));
    const std::vector<WriteStep> expected{WriteStep::CreateTemp, WriteStep::OpenInPlace, WriteStep::Write,
                                          WriteStep::Sync, WriteStep::Close};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(fileContent(), StationConfigFile::serialize(m_new));
    EXPECT_EQ(inode(m_path), before);
    EXPECT_EQ(filesInFolder(), QStringList{QStringLiteral("d_VELORA.txt")});
}

TEST_F(StationConfigFileWriteTest, ReadOnlyProgramFolderStillSavesTheFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root creates files in any folder; the temp-file seam test covers the fallback";
    putFile(StationConfigFile::serialize(m_old));
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(m_path, permissions));
    ASSERT_TRUE(QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool written = StationConfigFile::write(m_path, m_new);
    QFile::setPermissions(m_dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(written);
    EXPECT_EQ(StationConfigFile::read(m_path), m_new);
    EXPECT_EQ(QFile::permissions(m_path) & 0x7077, permissions);
}

TEST_F(StationConfigFileWriteTest, HardLinkedFileKeepsItsLinks)
{
    putFile(StationConfigFile::serialize(m_old));
    const QString other = m_dir.filePath(QStringLiteral("velora-backup-name.txt"));
    ASSERT_EQ(::link(QFile::encodeName(m_path).constData(), QFile::encodeName(other).constData()), 0);
    ASSERT_TRUE(StationConfigFile::write(m_path, m_new));
    EXPECT_EQ(StationConfigFile::read(other), m_new);
    EXPECT_EQ(inode(m_path), inode(other));
}

// The file is written back in the encoding it was read in; only Windows-1252 loses characters.
TEST_F(StationConfigFileWriteTest, RewriteKeepsTheEncodingItWasReadIn)
{
    struct Case
    {
        QByteArray folder; // field 10 as it stands in the file
        QString read;      // as the station reads it
        StationConfigFile::Encoding encoding;
        QString changed;    // a user name the station then writes
        QByteArray written; // field 17 as it is written back
    };
    const Case cases[] = {
        {"\"/srv/donn\xc3\xa9\x65s\"", QStringLiteral(u"/srv/données"), StationConfigFile::Encoding::Utf8,
         QStringLiteral(u"Zoë €"), "\"Zo\xc3\xab \xe2\x82\xac\""},
        {"\"C:\\Donn\xe9\x65s \x80\"", QStringLiteral(u"C:\\Données €"),
         StationConfigFile::Encoding::Windows1252, QStringLiteral(u"Zoë € 中"), "\"Zo\xeb \x80 ?\""},
        {"\"/data\"", QStringLiteral("/data"), StationConfigFile::Encoding::Utf8, QStringLiteral(u"Zoë"),
         "\"Zo\xc3\xab\""},
    };
    for (const Case& c : cases) {
        QList<QByteArray> lines = StationConfigFile::serialize(m_old).split('\n');
        lines[9] = c.folder + '\r';
        putFile(lines.join('\n'));
        StationConfigFile::Encoding encoding{};
        const auto read = StationConfigFile::read(m_path, &encoding);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ((*read)[9].toText(), c.read) << c.folder.constData();
        EXPECT_EQ(encoding, c.encoding) << c.folder.constData();

        Values changed = *read;
        changed[16] = StoredValue(c.changed);
        ASSERT_TRUE(StationConfigFile::write(m_path, changed, encoding));
        const QList<QByteArray> written = fileContent().split('\n');
        EXPECT_EQ(written[9], c.folder + '\r');
        EXPECT_EQ(written[16], c.written + '\r');
    }
}

// A Windows editor starts the file with a byte order mark: line 1 still reads, and the mark stays.
TEST_F(StationConfigFileWriteTest, ByteOrderMarkIsSkippedOnReadingAndKeptOnRewriting)
{
    const QByteArray mark("\xef\xbb\xbf");
    putFile(mark + StationConfigFile::serialize(m_old, StationConfigFile::Encoding::Utf8));
    StationConfigFile::Encoding encoding{};
    const auto read = StationConfigFile::read(m_path, &encoding);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, m_old);
    EXPECT_EQ(encoding, StationConfigFile::Encoding::Utf8WithBom);

    ASSERT_TRUE(StationConfigFile::write(m_path, m_new, encoding));
    EXPECT_EQ(fileContent(), mark + StationConfigFile::serialize(m_new, StationConfigFile::Encoding::Utf8));
    EXPECT_EQ(StationConfigFile::read(m_path), m_new);
}

} // namespace
