#include "SimController.h"
#include "core/StationEnvironment.h"

#include <QDir>
#include <QFile>
#include "core/SerialLine.h"
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct PortCase
{
    int comPort;
    const char* expected; // "" when there is no device for the number
};

class SerialPortWithoutEntry : public ::testing::TestWithParam<PortCase>
{
};

TEST_P(SerialPortWithoutEntry, FallsBackToTheSystemsSerialDevices)
{
    QTemporaryDir folder;
    EXPECT_EQ(defaultSerialPortName(folder.path(), GetParam().comPort),
              QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Numbers, SerialPortWithoutEntry,
                         ::testing::Values(PortCase{1, "/dev/ttyS0"}, PortCase{3, "/dev/ttyS2"},
                                           PortCase{300, "/dev/ttyS299"}, PortCase{0, ""}, PortCase{-1, ""}));

// A COM<N> entry in the program folder (a link to a pseudo-terminal here) is the port the station
// opens, and the controller behind it receives what the station writes.
TEST(SerialPortName, ComEntryInProgramFolderIsUsed)
{
    QTemporaryDir folder;
    SimController sim(0.001);
    ASSERT_TRUE(sim.start());
    const QString link = sim.createPortLink(folder.path(), 4);
    ASSERT_FALSE(link.isEmpty());

    const QString name = defaultSerialPortName(folder.path(), 4);
    EXPECT_EQ(name, link);
    EXPECT_EQ(defaultSerialPortName(folder.path(), 5), QStringLiteral("/dev/ttyS4"));

    const auto port = makeSerialLine();
    port->setPortName(name);
    ASSERT_TRUE(port->open()) << port->errorString().toStdString();
    port->write("I");
    port->flush();
    EXPECT_TRUE(sim.waitForCommands(1, 1000));
    EXPECT_EQ(sim.commandTexts(), QStringList{QStringLiteral("I")});
}

TEST(SerialPortName, EntriesForUnusualNumbersAreUsedToo)
{
    QTemporaryDir folder;
    for (int n : {0, 300}) {
        const QString entry = QDir(folder.path()).filePath(QStringLiteral("COM%1").arg(n));
        QFile file(entry);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(defaultSerialPortName(folder.path(), n), entry);
    }
}

// A link whose controller has gone still names the site's port; opening it then fails.
TEST(SerialPortName, DanglingEntryIsStillTheName)
{
    QTemporaryDir folder;
    QString link;
    {
        SimController sim(0.001);
        ASSERT_TRUE(sim.start());
        link = sim.createPortLink(folder.path(), 2);
    }
    EXPECT_EQ(defaultSerialPortName(folder.path(), 2), link);
    const auto port = makeSerialLine();
    port->setPortName(link);
    EXPECT_FALSE(port->open());
}

} // namespace
