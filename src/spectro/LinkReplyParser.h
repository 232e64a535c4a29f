#pragma once

#include <QByteArray>

#include <deque>

// Splits the byte stream the spectrometer software sends on the link into answers and
// notifications. Pure: it only sees bytes, so it can be fed split packets, garbage and huge
// length headers. After a protocol error the stream is out of step and the parser stops.
class LinkReplyParser
{
public:
    // A value larger than this is refused instead of buffered.
    static constexpr qsizetype MaxValueBytes = 16 * 1024 * 1024;
    // A control line longer than this (without its LF) is refused.
    static constexpr qsizetype MaxLineBytes = 1024 * 1024;

    struct Event
    {
        enum class Kind { Ok, Error, Notify, ProtocolError };
        Kind kind = Kind::Ok;
        QByteArray text;       // error description, notified item, or what was wrong
        QByteArray value;      // the value of an "OK <n>" answer
        bool hasValue = false; // the answer was "OK <n>"
        bool tooLarge = false; // protocol error caused by a size beyond the limits
    };

    void feed(const QByteArray& bytes);
    bool hasEvent() const { return !m_events.empty(); }
    Event takeEvent();
    bool failed() const { return m_failed; }
    // Bytes received but not yet forming a complete message.
    qsizetype bufferedBytes() const { return m_buffer.size(); }
    void reset();

private:
    void parseLine(const QByteArray& line);
    void fail(const QByteArray& reason, bool tooLarge);

    QByteArray m_buffer;
    std::deque<Event> m_events;
    Event m_pendingAnswer;           // an "OK <n>" answer whose value is still arriving
    qsizetype m_valueRemaining = -1; // >= 0 while the bytes of an "OK <n>" value are read
    bool m_failed = false;
};
