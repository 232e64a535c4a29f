#include "core/BlockingCall.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

struct Deferred
{
    QPointer<QObject> context;
    std::function<void()> work;
};

struct Frame
{
    QString waitingFor;
    QElapsedTimer since;
    int reportedSeconds = -1;
};

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

void defer(QObject* context, std::function<void()> work);

// The platform keeps its own input queued while we poll without user input; this catches what
// reaches the application anyway (events posted by a program, a close from the window manager)
// and hands it back, in order, after the call.
class InputHold : public QObject
{
protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (isUserInput(event->type())) {
            std::shared_ptr<QEvent> copy(event->clone());
            QPointer<QObject> target(receiver);
            defer(receiver, [target, copy] {
                if (target)
                    QCoreApplication::postEvent(target, copy->clone());
            });
            return true;
        }
        if (event->type() == QEvent::Close) {
            event->ignore();
            QPointer<QObject> target(receiver);
            defer(receiver, [target] {
                if (target)
                    QMetaObject::invokeMethod(target, "close");
            });
            return true;
        }
        return false;
    }
};

struct CallState
{
    std::vector<Frame> frames;
    std::vector<Deferred> deferred;
    std::unique_ptr<InputHold> hold;
};

CallState& callState()
{
    static CallState state;
    return state;
}

void runWhenFree(const QPointer<QObject>& context, const std::function<void()>& work)
{
    if (!context)
        return;
    if (BlockingCall::inFlight()) {
        callState().deferred.push_back({context, work});
        return;
    }
    work();
}

void post(const QPointer<QObject>& context, std::function<void()> work)
{
    if (!context)
        return;
    QMetaObject::invokeMethod(
        context.data(), [context, work = std::move(work)] { runWhenFree(context, work); },
        Qt::QueuedConnection);
}

void defer(QObject* context, std::function<void()> work)
{
    callState().deferred.push_back({context, std::move(work)});
}

bool onApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

BlockingCall::BlockingCall(const QString& waitingFor)
    : m_active(onApplicationThread())
    , m_waitingFor(waitingFor)
{
    if (!m_active)
        return;
    CallState& state = callState();
    if (state.frames.empty()) {
        state.hold = std::make_unique<InputHold>();
        QCoreApplication::instance()->installEventFilter(state.hold.get());
    }
    Frame frame;
    frame.waitingFor = waitingFor;
    frame.since.start();
    state.frames.push_back(frame);
    report();
}

BlockingCall::~BlockingCall()
{
    if (!m_active)
        return;
    CallState& state = callState();
    state.frames.pop_back();
    if (!state.frames.empty()) {
        state.frames.back().reportedSeconds = -1;
        report();
        return;
    }
    state.hold.reset();
    emit monitor().finished();
    // Held work goes back to the event loop in the order it came; what was posted meanwhile
    // follows it.
    std::vector<Deferred> held = std::move(state.deferred);
    state.deferred.clear();
    for (Deferred& d : held)
        post(d.context, std::move(d.work));
}

void BlockingCall::report()
{
    Frame& frame = callState().frames.back();
    const int seconds = int(frame.since.elapsed() / 1000);
    if (seconds == frame.reportedSeconds)
        return;
    frame.reportedSeconds = seconds;
    emit monitor().waiting(frame.waitingFor, seconds);
}

void BlockingCall::pump()
{
    if (!m_active)
        return;
    report();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void BlockingCall::waitForEvents(int maxMs)
{
    if (!m_active)
        return;
    report();
    QEventLoop loop;
    QTimer::singleShot(qMax(maxMs, 0), &loop, &QEventLoop::quit);
    m_loop = &loop;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_loop = nullptr;
}

void BlockingCall::wakeUp()
{
    if (m_loop)
        m_loop->quit();
}

bool BlockingCall::inFlight()
{
    return !callState().frames.empty();
}

void BlockingCall::whenFree(QObject* context, std::function<void()> work)
{
    post(QPointer<QObject>(context), std::move(work));
}

BlockingCallMonitor& BlockingCall::monitor()
{
    static BlockingCallMonitor instance;
    return instance;
}
