#include "bench/SimBench.h"

#include "SimController.h"
#include "SimServer.h"
#include "SimSpectrometer.h"
#include "app/Station.h"
#include "bench/DialogDriver.h"
#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "motion/StageControl.h"
#include "spectro/TcpSpectrometerLink.h"
#include "ui/Frmgrading.h"
#include "workflows/StoneWorkflows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QThread>

SimBench::SimBench()
    : SimBench(Options{})
{
}

SimBench::SimBench(Options options)
    : m_options(std::move(options))
    , m_folder(m_options.parentFolder.isEmpty()
                   ? QTemporaryDir()
                   : QTemporaryDir(QDir(m_options.parentFolder).filePath(QStringLiteral("bench-XXXXXX"))))
{
}

SimBench::~SimBench()
{
    // The station goes first: its link and port close while the peers still listen.
    m_station.reset();
    if (m_server)
        m_server->stop();
    if (m_spectrometer)
        m_spectrometer->stop();
    if (m_controller)
        m_controller->stop();
}

Frmgrading& SimBench::window()
{
    return m_station->window();
}

ConsoleModel& SimBench::model()
{
    return m_station->model();
}

StationConsole& SimBench::console()
{
    return m_station->console();
}

StoneWorkflows& SimBench::workflows()
{
    return m_station->workflows();
}

QByteArray SimBench::configContent() const
{
    auto quoted = [](const QString& text) { return QStringLiteral("\"%1\"").arg(text); };
    const QStringList lines{
        QString::number(m_options.comPort),             // ComPort
        QStringLiteral("300"),                          // Text12: move inside
        QStringLiteral("300"),                          // Text13: retract
        QStringLiteral("50"),                           // Text1: rotate
        QStringLiteral("320"),                          // Text2: up
        QStringLiteral("320"),                          // Text3: down
        QStringLiteral("50"),                           // Text4: rotate back
        QStringLiteral("10"),                           // Text5
        QStringLiteral("6"),                            // Text6: scans per stone
        quoted(QDir::toNativeSeparators(dataFolder())), // DataFolder
        QStringLiteral("0"),                            // ModeIndex
        quoted(QStringLiteral("ROUGH.XPM")),            // ExperimentFile
        quoted(QStringLiteral("StoneId")),              // Text8
        QStringLiteral("600"),                          // WindowLeft
        QStringLiteral("600"),                          // WindowTop
        QString::number(m_options.machineNumber),       // MachineNumber
        quoted(m_options.userName),                     // UserName
        quoted(m_options.companyCode),                  // CompanyCode
        QStringLiteral("8000"),                         // WindowWidth
        QStringLiteral("5300"),                         // WindowHeight
        QStringLiteral("0"),                            // WindowMode
        QStringLiteral("0"),                            // OpusPathFromVersion
        QStringLiteral("0"),                            // ServerMode
        quoted(QStringLiteral("C:\\Users\\Public\\Documents\\Bruker\\OPUS_8.8.4\\Instruments\\Alpha II")),
        QString::number(m_options.checkIntervalMinutes), // CheckIntervalMinutes
        quoted(QStringLiteral("8.8.4")),                 // OpusVersion
    };
    return lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

bool SimBench::start(int readyTimeoutMs)
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    QDir().mkpath(dataFolder());

    m_controller = std::make_unique<SimController>(m_options.timeScale);
    if (!m_controller->start()) {
        m_error = QStringLiteral("controller: ") + m_controller->errorString();
        return false;
    }
    m_spectrometer = std::make_unique<SimSpectrometer>(0, m_folder.filePath(QStringLiteral("opus")));
    if (!m_spectrometer->start()) {
        m_error = QStringLiteral("spectrometer simulator did not start");
        return false;
    }
    m_server = std::make_unique<SimServer>();
    m_server->setTls(m_options.tlsCertificate.toStdString(), m_options.tlsKey.toStdString());
    if (!m_server->start(0)) {
        m_error = QStringLiteral("server simulator did not start");
        return false;
    }

    if (m_options.writeConfig) {
        QFile config(m_folder.filePath(QStringLiteral("d_VELORA.txt")));
        if (!config.open(QIODevice::WriteOnly) || config.write(configContent()) < 0) {
            m_error = QStringLiteral("cannot write the configuration file");
            return false;
        }
    }

    const QString base = QString::fromStdString(m_server->baseUrl());
    StationEnvironment env;
    env.programFolder = m_folder.path();
    env.backupFolder = backupFolder();
    env.journalFolder = m_options.journalFolder.isEmpty() ? m_folder.filePath(QStringLiteral("journal"))
                                                          : m_options.journalFolder;
    env.cloudUrl = base;
    env.lanUrl = base;
    env.lanLoginUrl = base;
    env.stoneIdUrl = base;
    env.diagPageUrl = QString::fromStdString(m_server->diagPageUrl());
    env.downloadUrl = base + QStringLiteral("/download");
    env.caBundle = m_options.caBundle;
    env.spectrumChecks = m_options.spectrumChecks;
    const QString pty = m_controller->devicePath();
    const int comPort = m_options.comPort;
    if (m_options.portLinkInProgramFolder) {
        m_controller->createPortLink(m_folder.path(), comPort);
        const QString folder = m_folder.path();
        env.resolveSerialPort = [folder](int port) { return defaultSerialPortName(folder, port); };
    } else {
        env.resolveSerialPort = [pty, comPort](int port) { return port == comPort ? pty : QString(); };
    }
    if (!m_options.picturesFolder.isEmpty()) {
        const QDir pictures(m_options.picturesFolder);
        for (const QString& name : pictures.entryList({QStringLiteral("*.jpg")}, QDir::Files))
            QFile::copy(pictures.filePath(name), m_folder.filePath(name));
    }
    const QString linkAddress = m_options.spectrometerLinkAddress.isEmpty()
                                    ? QStringLiteral("127.0.0.1:%1").arg(m_spectrometer->port())
                                    : m_options.spectrometerLinkAddress;
    env.makeSpectrometerLink = [linkAddress]() -> std::unique_ptr<SpectrometerLink> {
        return std::make_unique<TcpSpectrometerLink>(linkAddress);
    };
    env.timeScale = m_options.timeScale;
    env.startDetached = [this](const QString& program, const QStringList& arguments) {
        m_started << (QStringList{program} + arguments).join(QLatin1Char(' '));
        return true;
    };
    env.openUrl = [this](const QString& url) { m_openedUrls << url; };
    env.terminate = [](int) {};
    m_env = env;

    stationState() = StationState{};
    m_station = std::make_unique<Station>(
        env, m_options.withWindow ? Station::OperatorFactory{}
                                  : Station::OperatorFactory(&DialogDriver::headlessOperator));
    ConsoleModel& m = m_station->model();
    StationConsole& c = m_station->console();
    QObject::connect(&m, &ConsoleModel::msgChanged, &m, [this](const QString& text) {
        if (!text.isEmpty() && (m_msg.isEmpty() || m_msg.back() != text))
            m_msg << text;
    });
    QObject::connect(&m, &ConsoleModel::msg1Changed, &m, [this](const QString& text) {
        if (!text.isEmpty() && (m_msg1.isEmpty() || m_msg1.back() != text))
            m_msg1 << text;
    });
    m_station->start();

    // Ready: the motors initialised (stage inside) and the peers quiet for a moment, so the
    // start-up health check and its reports are over.
    const bool initialised = pumpUntil(
        [this, &m, &c] {
            return !m_station->stage().isInitialising() && !m.Command18->isEnabled() &&
                   m.Command19->isEnabled() && c.link() && c.link()->isConnected();
        },
        readyTimeoutMs);
    if (!initialised) {
        m_error = QStringLiteral("the station did not become ready");
        return false;
    }
    QElapsedTimer quiet;
    quiet.start();
    size_t requests = m_server->requests().size();
    qsizetype lines = m_spectrometer->receivedLines().size();
    QElapsedTimer total;
    total.start();
    while (quiet.elapsed() < 150 && total.elapsed() < readyTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
        const size_t r = m_server->requests().size();
        const qsizetype l = m_spectrometer->receivedLines().size();
        if (r != requests || l != lines) {
            requests = r;
            lines = l;
            quiet.restart();
        }
    }
    m_startupMsg1 = m_msg1;
    clearRecords();
    return true;
}

void SimBench::clearRecords()
{
    m_controller->clearLog();
    m_spectrometer->clearLog();
    m_server->clearRequests();
    m_msg.clear();
    m_msg1.clear();
}

QStringList SimBench::msgTexts() const
{
    return m_msg;
}

QStringList SimBench::msg1Texts() const
{
    return m_msg1;
}

QStringList SimBench::filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool SimBench::pumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
