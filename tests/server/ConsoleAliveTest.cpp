#include "ServerTestSupport.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <iostream>

namespace {

// Stands in for the console's window: it hands a press to the health-check picture, keys to the
// console's key handler and a close to the unload, as the window does, and counts its repaints.
class ConsoleView : public QWidget
{
public:
    explicit ConsoleView(TestConsole& console)
        : m_console(console)
    {
        resize(320, 200);
    }

    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
    void mousePressEvent(QMouseEvent*) override { m_console.model.Image1->click(); }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            m_console.console.Form_KeyPress(27);
    }
    void closeEvent(QCloseEvent* event) override
    {
        if (!m_console.console.requestUnload())
            event->ignore();
    }

private:
    TestConsole& m_console;
};

class ConsoleAliveTest : public ServerFixture
{
};

TEST_F(ConsoleAliveTest, SlowRequestKeepsTheConsolePaintedAndRunsNothingOfTheStation)
{
    SimFault slow;
    slow.delayMs = 5000;
    cloud.setFault("/getServerStatus", slow);
    HttpRequest::Limits limits;
    limits.totalTimeout = std::chrono::milliseconds(15000);
    client->setLimits(limits);

    ConsoleView view(*console);
    view.show();
    ConsoleControl* waitLine = model().WaitLine;
    int lineChanges = 0;
    QObject::connect(waitLine, &ConsoleControl::changed, [&] { ++lineChanges; });

    // Station events that would run inside the request if anything let them: the wait tick, a
    // click on the health-check picture, Escape.
    bool inRequest = false;
    int ticksInRequest = 0;
    int ticksAfter = 0;
    StationTimer* timer4 = console->console.Timer4;
    QObject::connect(timer4, &StationTimer::timeout, [&] { ++(inRequest ? ticksInRequest : ticksAfter); });
    timer4->setInterval(100);
    timer4->setEnabled(true);
    QStringList handled;
    console->console.hooks().Image1_Click = [&] {
        handled << (inRequest ? "click in request" : "click after");
    };

    // What the operator's screen shows, sampled by a timer of the toolkit while the request runs.
    QStringList lines;
    QStringList titles;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        view.update();
        if (waitLine->isVisible())
            lines << waitLine->text();
        titles << model().caption();
    });
    sampler.start(100);
    QTimer::singleShot(1000, [&] {
        const QPoint centre = view.rect().center();
        QCoreApplication::postEvent(&view, new QMouseEvent(QEvent::MouseButtonPress, centre,
                                                           view.mapToGlobal(centre), Qt::LeftButton,
                                                           Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(&view, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    waitUntil([] { return false; }, 50);
    const int paintsBefore = view.paints;

    QElapsedTimer took;
    took.start();
    inRequest = true;
    EXPECT_TRUE(client->CheckServerStatus());
    inRequest = false;
    const qint64 ms = took.elapsed();
    const int paintsDuring = view.paints - paintsBefore;
    std::cout << "[ figures  ] 5 s request: " << paintsDuring << " paints of the console, " << lineChanges
              << " changes of the wait line\n";

    EXPECT_GE(ms, 4900);
    EXPECT_GE(paintsDuring, 20) << "the console repaints about every 100 ms while the request runs";
    EXPECT_GE(lineChanges, 4);
    EXPECT_TRUE(lines.contains("Waiting for the server (4 s)")) << lines.join(", ").toStdString();
    EXPECT_TRUE(titles.contains("VELORA - Waiting for the server (3 s)")) << titles.join(", ").toStdString();
    EXPECT_FALSE(lines.contains("Waiting for the server (0 s)"));
    EXPECT_EQ(ticksInRequest, 0);
    EXPECT_TRUE(handled.isEmpty());
    EXPECT_FALSE(stationState().EscapePressed);

    // Afterwards the held events come, in order, and the console shows its caption again.
    waitUntil([&] { return !handled.isEmpty() && ticksAfter > 0; }, 1000);
    EXPECT_EQ(handled, QStringList({"click after"}));
    EXPECT_TRUE(stationState().EscapePressed);
    EXPECT_GT(ticksAfter, 0);
    EXPECT_FALSE(waitLine->isVisible());
    EXPECT_EQ(model().caption(), "VELORA ");
    EXPECT_EQ(model().msgText(), "Response: {\"status\":\"UP\"}");
}

TEST_F(ConsoleAliveTest, WindowCloseDuringARequestWaitsForItsEnd)
{
    SimFault slow;
    slow.delayMs = 1200;
    cloud.setFault("/getServerStatus", slow);
    ConsoleView view(*console);
    view.show();
    bool inRequest = false;
    int asked = 0;
    int askedInRequest = 0;
    console->console.hooks().confirmUnload = [&] {
        ++asked;
        askedInRequest += inRequest ? 1 : 0;
        return false; // the console stays; what matters is when the close reached the station
    };
    QTimer::singleShot(300, [&] { view.close(); });
    inRequest = true;
    client->CheckServerStatus();
    inRequest = false;
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(waitUntil([&] { return asked == 1; }, 1000));
    EXPECT_EQ(askedInRequest, 0);
    EXPECT_TRUE(view.isVisible());
    EXPECT_FALSE(console->console.hasEnded());
}

} // namespace
