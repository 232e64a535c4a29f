#include "SpectroTestSupport.h"

namespace {

constexpr quint32 Green = 65280;
constexpr quint32 Yellow = 65535;
constexpr quint32 Red = 255;
constexpr quint32 Magenta = 16711935;

class HealthCheck : public SpectroFixture
{
protected:
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const auto& shown : window->op.boxes) {
            EXPECT_EQ(shown.title, QStringLiteral("VELORA"));
            EXPECT_EQ(shown.icon, Operator::Icon::None) << shown.text.toStdString();
            texts << shown.text;
        }
        return texts;
    }
    quint32 statusTextColor() const { return window->model.Text11->colour().value_or(0); }
};

struct FolderForm
{
    qint16 opusPathFromVersion;
    const char* readAmplitudeFile;
    const char* readPositionFile;
};

class HealthCheckCommands : public SpectroFixture, public ::testing::WithParamInterface<FolderForm>
{
};

TEST_P(HealthCheckCommands, SentInOrderThenShownThenHandedToTheServer)
{
    StationState& s = stationState();
    s.OpusPathFromVersion = GetParam().opusPathFromVersion;
    s.OpusVersion = "9.2";
    s.InstrumentFolder = "300117";
    sim.setPeakAmplitude(QStringLiteral("0.51234567"));
    sim.setPeakPosition(QStringLiteral("14488.5000"));
    openLink();
    spectrometer->Image1_Click();

    EXPECT_EQ(sim.advisedItems(),
              (QStringList{GetParam().readAmplitudeFile, "READ_FROM_BLOCK Instrument Parameters",
                           "READ_PARAMETER PKA", GetParam().readPositionFile,
                           "READ_FROM_BLOCK Instrument Parameters", "READ_PARAMETER ABP",
                           "DIAG_STATUS MESSAGE", "DIAG_STATUS"}));
    EXPECT_EQ(window->model.Text9->text(), QStringLiteral("Peak= 0.51234567"));
    EXPECT_EQ(window->model.msgText(),
              QStringLiteral("Peak Amplitude = 0.51234567 AND Absolute Peak Position = 14488.5000"));
    EXPECT_EQ(window->model.Text11->text(), QStringLiteral("All OK"));
    EXPECT_EQ(window->model.Shape1->colour().value_or(16711935), Green);
    EXPECT_EQ(serverCalls, (QStringList{"Login", "ReadEnvironmentPage", "SendMachineStatus"}));
    EXPECT_EQ(s.SpectrometerCommand.toText(), QStringLiteral("DIAG_STATUS"));
    EXPECT_TRUE(window->op.boxes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    BothForms, HealthCheckCommands,
    ::testing::Values(
        FolderForm{
            1,
            R"(READ_FROM_FILE C:\\Users\\Public\\Documents\\Bruker\\OPUS_9.2\\Instruments\\Alpha II\\BG\\300117\\opus.bg)",
            R"(READ_FROM_FILE C:\\Users\\Public\\Documents\\Bruker\\OPUS_9.2\\Instruments\\Alpha II\\BG\\212030\\opus.bg)"},
        FolderForm{
            0,
            R"(READ_FROM_FILE C:\\Users\\Public\\Documents\\Bruker\\OPUS_8.8.4\\Instruments\\Alpha II\\BG\\300117\\opus.bg)",
            R"(READ_FROM_FILE C:\\Users\\Public\\Documents\\Bruker\\OPUS_8.8.4\\Instruments\\Alpha II\\BG\\212030\\opus.bg)"}));

struct MessageCase
{
    const char* code;
    const char* text; // Text11 afterwards ("before" when unchanged)
    quint32 color;    // text colour afterwards (1 when unchanged)
    const char* box;  // nullptr: none
};

class StatusMessages : public HealthCheck, public ::testing::WithParamInterface<MessageCase>
{
};

TEST_P(StatusMessages, SetWordColourAndBox)
{
    const MessageCase& c = GetParam();
    window->model.Text11->setText(QStringLiteral("before"));
    window->model.Text11->setColour(1u);
    sim.setStatusMessageCode(QString::fromLatin1(c.code));
    openLink();
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.Text11->text().toStdString(), c.text);
    EXPECT_EQ(statusTextColor(), c.color);
    EXPECT_EQ(boxTexts(), c.box ? QStringList{QString::fromLatin1(c.box)} : QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatusMessages,
    ::testing::Values(MessageCase{"0", "All OK", Green, nullptr},
                      MessageCase{"10152", "Humidity", Yellow, "Himidity Out of Range !!!"},
                      MessageCase{"60139", "Fault", Red, "Instrument Test is required Resetable  !!!"},
                      MessageCase{"777", "before", 1, nullptr},
                      MessageCase{"abc", "All OK", Green, nullptr}));

struct CodeCase
{
    const char* code;
    quint32 lamp;
    bool enabled;
};

class StatusCodes : public HealthCheck, public ::testing::WithParamInterface<CodeCase>
{
};

TEST_P(StatusCodes, SetLampAndRegistration)
{
    const CodeCase& c = GetParam();
    window->model.Register->setEnabled(!c.enabled);
    window->model.Query->setEnabled(!c.enabled);
    sim.setStatusCode(QString::fromLatin1(c.code));
    openLink();
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.Shape1->colour().value_or(16711935), c.lamp);
    EXPECT_EQ(spectrometer->lastStatusColor(), c.lamp);
    EXPECT_EQ(window->model.Register->isEnabled(), c.enabled);
    EXPECT_EQ(window->model.Query->isEnabled(), c.enabled);
    EXPECT_EQ(boxTexts(), c.enabled
                              ? QStringList()
                              : QStringList{QStringLiteral("Critical.... Contact Developer or support ")});
}

// The last status colour starts black.
INSTANTIATE_TEST_SUITE_P(Table, StatusCodes,
                         ::testing::Values(CodeCase{"0", Green, true}, CodeCase{"1", Yellow, false},
                                           CodeCase{"2", Red, false}, CodeCase{"3", 0, false},
                                           CodeCase{"1.5", 0, false}, CodeCase{"", Green, true},
                                           CodeCase{" 2 ", Red, false}));

TEST_F(HealthCheck, LampIsMagentaUntilTheFirstStatusCode)
{
    EXPECT_EQ(window->model.Shape1->colour().value_or(16711935), Magenta);
}

TEST_F(HealthCheck, UnknownCodeKeepsTheLastColour)
{
    openLink();
    sim.setStatusCode(QStringLiteral("2"));
    spectrometer->Image1_Click();
    sim.setStatusCode(QStringLiteral("42"));
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.Shape1->colour().value_or(16711935), Red);
    EXPECT_FALSE(window->model.Register->isEnabled());
    EXPECT_EQ(boxTexts().size(), 2);
}

TEST_F(HealthCheck, ShortStatusReplyReadsAsZero)
{
    openLink();
    sim.setReplyFor(QStringLiteral("DIAG_STATUS"), "OK");
    sim.setReplyFor(QStringLiteral("DIAG_STATUS MESSAGE"), "OK0");
    window->model.Register->setEnabled(false);
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.Shape1->colour().value_or(16711935), Green);
    EXPECT_TRUE(window->model.Register->isEnabled());
    EXPECT_TRUE(window->model.Query->isEnabled());
}

TEST_F(HealthCheck, HumidityBoxAtEveryCheck)
{
    openLink();
    sim.setStatusMessageCode(QStringLiteral("10152"));
    spectrometer->Image1_Click();
    spectrometer->Image1_Click();
    EXPECT_EQ(boxTexts(), (QStringList{"Himidity Out of Range !!!", "Himidity Out of Range !!!"}));
}

TEST_F(HealthCheck, LinkDropMidCheckStopsTheCheckAndReconnects)
{
    openLink();
    sim.setDropOnItem(QStringLiteral("READ_PARAMETER ABP"));
    stationState().PeakAmplitude = "prev";
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    EXPECT_TRUE(serverCalls.isEmpty());
    EXPECT_EQ(sim.advisedItems().last(), QStringLiteral("READ_PARAMETER ABP"));
    EXPECT_FALSE(sim.advisedItems().contains(QStringLiteral("DIAG_STATUS")));
    EXPECT_TRUE(window->console.Timer5->isEnabled());

    sim.setDropOnItem(QString());
    ASSERT_TRUE(waitUntil([&] { return serverCalls.size() == 3; }, 5000));
    EXPECT_EQ(sim.connectionCount(), 2);
    EXPECT_FALSE(window->console.Timer5->isEnabled());
    EXPECT_EQ(window->model.msgText().left(17), QStringLiteral("Peak Amplitude = "));
}

// The link drops between the software's notification and the request for the status: no status was
// read, so nothing turns green or "All OK" and the check fails like any other.
TEST_F(HealthCheck, StatusRequestLostAfterTheNotificationIsAFailedCheck)
{
    for (const QString& item : {QStringLiteral("DIAG_STATUS MESSAGE"), QStringLiteral("DIAG_STATUS")}) {
        sim.dropConnections();
        openLink();
        serverCalls.clear();
        window->model.Text11->setText(QStringLiteral("before"));
        window->model.Register->setEnabled(false);
        window->model.Query->setEnabled(false);
        window->console.Timer5->setEnabled(false);
        sim.setDropOnRequest(item);
        spectrometer->Image1_Click();
        sim.setDropOnRequest(QString());
        EXPECT_EQ(sim.advisedItems().last(), item);
        EXPECT_EQ(window->model.Shape1->colour().value_or(16711935), Magenta) << item.toStdString();
        // The status message was read when only the status code was lost.
        EXPECT_EQ(window->model.Text11->text(), item == QLatin1String("DIAG_STATUS") ? "All OK" : "before");
        EXPECT_FALSE(window->model.Register->isEnabled()) << item.toStdString();
        EXPECT_FALSE(window->model.Query->isEnabled()) << item.toStdString();
        EXPECT_EQ(window->model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
        EXPECT_TRUE(serverCalls.isEmpty()) << "no status is reported to the server";
        EXPECT_TRUE(window->op.boxes.isEmpty());
        EXPECT_TRUE(window->console.Timer5->isEnabled()) << "the dropped link is tried again";
    }
}

TEST_F(HealthCheck, RefusedRequestWithTheLinkUpDoesNotReconnect)
{
    openLink();
    sim.setRefuseItems(true);
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Machine Hardware Not Connected !!! "));
    EXPECT_EQ(linkText(), QStringLiteral("Item refused"));
    EXPECT_FALSE(window->console.Timer5->isEnabled());
    EXPECT_EQ(sim.advisedItems().size(), 1);
}

TEST_F(HealthCheck, MissingReplyLeavesThePreviousValues)
{
    openLink();
    sim.setNotify(false);
    stationState().PeakAmplitude = "0.1";
    stationState().PeakPosition = "9";
    spectrometer->Image1_Click();
    EXPECT_EQ(window->model.msgText(), QStringLiteral("Peak Amplitude = 0.1 AND Absolute Peak Position = 9"));
    EXPECT_EQ(serverCalls.size(), 3);
}

} // namespace
