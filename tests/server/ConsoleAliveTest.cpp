#include "ServerTestSupport.h"

#include "core/BlockingCall.h"
#include "ui/ConsoleStatus.h"
#include "ui/PictureBox.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>

#include <iostream>

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
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

    window->show();
    PaintCounter painted;
    window->installEventFilter(&painted);
    QLabel* waitLine = window->status().waitLine();
    PaintCounter linePainted;
    waitLine->installEventFilter(&linePainted);

    // Station events that would run inside the request if anything let them: the wait tick, a
    // click on the health-check picture, Escape.
    bool inRequest = false;
    int ticksInRequest = 0;
    int ticksAfter = 0;
    QObject::connect(window->Timer4, &StationTimer::timeout,
                     [&] { ++(inRequest ? ticksInRequest : ticksAfter); });
    window->Timer4->setInterval(100);
    window->Timer4->setEnabled(true);
    QStringList handled;
    window->hooks().Image1_Click = [&] { handled << (inRequest ? "click in request" : "click after"); };

    // What the operator's screen shows, sampled by a timer of the toolkit while the request runs.
    QStringList lines;
    QStringList titles;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        window->update();
        if (waitLine->isVisible())
            lines << waitLine->text();
        titles << window->windowTitle();
    });
    sampler.start(100);
    QTimer::singleShot(1000, [&] {
        const QPoint centre = window->Image1->rect().center();
        QCoreApplication::postEvent(window->Image1,
                                    new QMouseEvent(QEvent::MouseButtonPress, centre,
                                                    window->Image1->mapToGlobal(centre), Qt::LeftButton,
                                                    Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(window->Text8,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    waitUntil([] { return false; }, 50);
    const int paintsBefore = painted.paints;

    QElapsedTimer took;
    took.start();
    inRequest = true;
    EXPECT_TRUE(client->CheckServerStatus());
    inRequest = false;
    const qint64 ms = took.elapsed();
    const int paintsDuring = painted.paints - paintsBefore;
    std::cout << "[ figures  ] 5 s request: " << paintsDuring << " paints of the console, "
              << linePainted.paints << " of the wait line\n";

    EXPECT_GE(ms, 4900);
    EXPECT_GE(paintsDuring, 20) << "the console repaints about every 100 ms while the request runs";
    EXPECT_GE(linePainted.paints, 4);
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
    EXPECT_EQ(window->windowTitle(), "VELORA ");
    EXPECT_EQ(window->msgText(), "Response: {\"status\":\"UP\"}");
}

TEST_F(ConsoleAliveTest, WindowCloseDuringARequestWaitsForItsEnd)
{
    SimFault slow;
    slow.delayMs = 1200;
    cloud.setFault("/getServerStatus", slow);
    window->show();
    bool inRequest = false;
    int asked = 0;
    int askedInRequest = 0;
    window->hooks().confirmUnload = [&] {
        ++asked;
        askedInRequest += inRequest ? 1 : 0;
        return false; // the window stays; what matters is when the close reached the station
    };
    QTimer::singleShot(300, [&] { window->close(); });
    inRequest = true;
    client->CheckServerStatus();
    inRequest = false;
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(waitUntil([&] { return asked == 1; }, 1000));
    EXPECT_EQ(askedInRequest, 0);
    EXPECT_TRUE(window->isVisible());
}

} // namespace
