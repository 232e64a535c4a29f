#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The motion controller on its serial line, simulated behind a pseudo-terminal. The station opens
// devicePath() like any serial device. The controller accepts "I" and the six move commands
// ("XF", "XR", "YF", "YR", "ZF", "ZR" followed by a count), moves its three axes over simulated
// time, answers now and then, and offers fault switches. All methods are thread-safe; the reader
// runs on its own thread, so station and controller can share one process.
class SimController
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Command
    {
        std::string text;     // as received, e.g. "YF300"
        std::string letters;  // "I", "XF", ... or "" for text that is no command
        double count = 0;     // steps; 0 for "I"
        bool valid = false;   // a known command with a readable count
        TimePoint at;         // when it was complete
        double elapsedMs = 0; // real milliseconds since start()
    };

    // Steps from the home position: rotation (X commands), stage (Y), up/down (Z).
    struct Position
    {
        double x = 0;
        double y = 0;
        double z = 0;
    };

    // timeScale scales every simulated duration (moves, initialisation), as the station's clock does.
    explicit SimController(double timeScale = 1.0);
    ~SimController();
    SimController(const SimController&) = delete;
    SimController& operator=(const SimController&) = delete;

    // Opens the pseudo-terminal and starts the reader. False (with errorString()) when it cannot.
    bool start();
    void stop();
    bool isRunning() const { return m_running.load(); }
    QString errorString() const;

    // The slave side, to be opened by the station ("/dev/pts/N").
    QString devicePath() const;

    // Creates (or replaces) the symbolic link folder/COM<comPort> to devicePath(), so the station
    // finds the controller under its configured port number. Returns the link's path or "" on failure.
    QString createPortLink(const QString& folder, int comPort);

    // Everything received, in order.
    std::vector<Command> commands() const;
    QStringList commandTexts() const;  // valid commands only
    QStringList rejectedTexts() const; // text that was not a valid command
    void clearLog();
    // Blocks until at least n valid commands have been received, or timeoutMs passed.
    bool waitForCommands(int n, int timeoutMs) const;

    Position position() const;
    bool isMoving() const;
    bool isInitialised() const;

    // Fault switches
    void setSilent(bool silent); // never answer
    void setFlood(bool flood);   // send text as fast as the line takes it
    void unplug();               // close the terminal: the station's port errors and the path goes away
    bool isPlugged() const;

    std::int64_t bytesSent() const { return m_bytesSent.load(); }

    // Observers for the command-line simulator; called on the reader thread.
    void setCommandObserver(std::function<void(const Command&, const Position&)> observer);
    void setRestObserver(std::function<void(const Position&)> observer);

    // Nominal speeds: a move of n steps takes n / stepsPerSecond seconds times the time scale.
    static constexpr double kStepsPerSecond = 200.0;
    static constexpr double kInitialiseMs = 8000.0;

private:
    struct Axis
    {
        double from = 0;
        double to = 0;
        TimePoint started;
        double durationMs = 0; // real
        double at(TimePoint now) const;
        bool movingAt(TimePoint now) const;
    };

    void run();
    void closeTerminal();
    void received(const char* data, size_t size, TimePoint now);
    void parse(bool flushTail, TimePoint now);
    void execute(Command command);
    void reply(const std::string& text);
    void writePending();
    void floodLine();
    Position positionAt(TimePoint now) const; // caller holds m_mutex
    bool movingAt(TimePoint now) const;       // caller holds m_mutex
    void wake();

    const double m_timeScale;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_unplugRequested{false};
    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_flood{false};
    std::atomic<std::int64_t> m_bytesSent{0};

    int m_master = -1;
    int m_slave = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    bool m_plugged = false;
    QString m_devicePath;
    QString m_error;
    TimePoint m_started;

    // Reader thread only
    std::string m_inbox;
    TimePoint m_lastByte;
    std::string m_outbox;
    bool m_restPending = false; // a move was accepted: report the position when all axes stop

    // Guarded by m_mutex
    std::vector<Command> m_log;
    Axis m_x;
    Axis m_y;
    Axis m_z;
    TimePoint m_initialiseUntil;
    bool m_initialising = false;
    bool m_initialised = false;
    std::function<void(const Command&, const Position&)> m_commandObserver;
    std::function<void(const Position&)> m_restObserver;
};
