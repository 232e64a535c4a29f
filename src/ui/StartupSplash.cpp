#include "ui/StartupSplash.h"

#include "core/BlockingCall.h"
#include "core/ConsoleStatus.h"
#include "core/ConsoleModel.h"
#include "core/StationConsole.h"
#include "ui/Frmgrading.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

namespace {

const QString ProgramTitle = QStringLiteral("VELORA");
const QString StartingText = QStringLiteral("Starting...");
const QString FirstStep = QStringLiteral("Loading the console");

} // namespace

StartupSplash::StartupSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("StartupSplash"));
    setWindowTitle(ProgramTitle);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(65, 65, 65));
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);

    m_title = new QLabel(ProgramTitle, this);
    m_title->setObjectName(QStringLiteral("SplashTitle"));
    QFont big = m_title->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    m_title->setFont(big);
    m_starting = new QLabel(StartingText, this);
    m_starting->setObjectName(QStringLiteral("SplashStarting"));
    m_step = new QLabel(FirstStep, this);
    m_step->setObjectName(QStringLiteral("SplashStep"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    for (QLabel* label : {m_title, m_starting, m_step}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    setFixedSize(360, 140);
}

void StartupSplash::showNow(int maxWaitMs)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    QElapsedTimer waited;
    waited.start();
    while (!m_painted && waited.elapsed() < maxWaitMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
}

void StartupSplash::setStep(const QString& step)
{
    const QString text = step.trimmed();
    if (!text.isEmpty())
        m_step->setText(text);
}

QString StartupSplash::step() const
{
    return m_step->text();
}

void StartupSplash::follow(Frmgrading& window, const StationConsole& console)
{
    m_console = &window;
    window.installEventFilter(this);
    connect(&window.model(), &ConsoleModel::msgChanged, this, &StartupSplash::setStep);
    connect(&console, &StationConsole::ended, this, &QWidget::close);
    connect(&BlockingCall::monitor(), &BlockingCallMonitor::waiting, this,
            [this](const QString& what, int seconds) { setStep(ConsoleStatus::waitText(what, seconds)); });
}

bool StartupSplash::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_console && event->type() == QEvent::Show) {
        m_console->removeEventFilter(this);
        m_console = nullptr;
        close();
    }
    return QWidget::eventFilter(watched, event);
}

void StartupSplash::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!m_painted) {
        m_painted = true;
        emit firstPainted();
    }
}
