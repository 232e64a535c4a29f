#include "core/LocalPath.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char* path;
    const char* dataFolder;
    const char* localDataFolder;
    const char* expected;
};

class LocalPathTable : public ::testing::TestWithParam<Case>
{
};

TEST_P(LocalPathTable, MapsTheSoftwaresPathToThisMachine)
{
    const Case& c = GetParam();
    EXPECT_EQ(LocalPath::of(QString::fromUtf8(c.path), QString::fromUtf8(c.dataFolder),
                            QString::fromUtf8(c.localDataFolder))
                  .toStdString(),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalPathTable,
    ::testing::Values(
        // No share: the path as configured, with slashes.
        Case{"/srv/data\\A-1-01R.dpt", "/srv/data", "", "/srv/data/A-1-01R.dpt"},
        // The software's folder, mounted here.
        Case{"D:\\VeloraData\\A-1-01R.dpt", "D:\\VeloraData", "/mnt/velora", "/mnt/velora/A-1-01R.dpt"},
        Case{"D:\\VeloraData", "D:\\VeloraData", "/mnt/velora/", "/mnt/velora"},
        // Windows names ignore case and take either separator; a trailing separator changes nothing.
        Case{"d:/veloradata\\Sub\\x.0", "D:\\VeloraData\\", "/mnt/velora", "/mnt/velora/Sub/x.0"},
        // A folder whose name only starts like the data folder is not inside it.
        Case{"D:\\VeloraData2\\x.0", "D:\\VeloraData", "/mnt/velora", "D:/VeloraData2/x.0"},
        // Outside the data folder, or no data folder configured: nothing is moved.
        Case{"C:\\Other\\x.0", "D:\\VeloraData", "/mnt/velora", "C:/Other/x.0"},
        Case{"D:\\VeloraData\\x.0", "", "/mnt/velora", "D:/VeloraData/x.0"}));

} // namespace
