#include "spectro/LinkReplyParser.h"

LinkReplyParser::Event LinkReplyParser::takeEvent()
{
    Event event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

void LinkReplyParser::reset()
{
    m_buffer.clear();
    m_events.clear();
    m_valueRemaining = -1;
    m_pendingAnswer = Event();
    m_failed = false;
}

void LinkReplyParser::fail(const QByteArray& reason, bool tooLarge)
{
    Event event;
    event.kind = Event::Kind::ProtocolError;
    event.text = reason;
    event.tooLarge = tooLarge;
    m_events.push_back(std::move(event));
    m_failed = true;
    m_buffer.clear();
}

void LinkReplyParser::feed(const QByteArray& bytes)
{
    if (m_failed)
        return;
    m_buffer.append(bytes);
    qsizetype pos = 0;
    while (!m_failed) {
        if (m_valueRemaining >= 0) {
            if (m_buffer.size() - pos < m_valueRemaining)
                break;
            m_pendingAnswer.value = m_buffer.mid(pos, m_valueRemaining);
            pos += m_valueRemaining;
            m_valueRemaining = -1;
            m_events.push_back(std::move(m_pendingAnswer));
            m_pendingAnswer = Event();
            continue;
        }
        const qsizetype lf = m_buffer.indexOf('\n', pos);
        if (lf < 0) {
            if (m_buffer.size() - pos > MaxLineBytes)
                fail("line too long", true);
            break;
        }
        if (lf - pos > MaxLineBytes) {
            fail("line too long", true);
            break;
        }
        parseLine(m_buffer.mid(pos, lf - pos));
        pos = lf + 1;
    }
    if (!m_failed)
        m_buffer.remove(0, pos);
}

namespace {

bool allDigits(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

void LinkReplyParser::parseLine(const QByteArray& line)
{
    Event event;
    if (line == "OK") {
        event.kind = Event::Kind::Ok;
    } else if (line.startsWith("OK ")) {
        const QByteArray count = line.mid(3);
        if (!allDigits(count)) {
            fail("malformed value length: " + line.left(64), false);
            return;
        }
        qsizetype firstSignificant = 0;
        while (firstSignificant < count.size() - 1 && count[firstSignificant] == '0')
            ++firstSignificant;
        const QByteArray significant = count.mid(firstSignificant);
        bool ok = false;
        const qulonglong n = significant.size() > 12 ? 0 : significant.toULongLong(&ok);
        if (!ok || n > qulonglong(MaxValueBytes)) {
            fail("value too large: " + line.left(64), true);
            return;
        }
        event.kind = Event::Kind::Ok;
        event.hasValue = true;
        // Held back until its value is complete.
        m_pendingAnswer = std::move(event);
        m_valueRemaining = qsizetype(n);
        return;
    } else if (line == "ERROR" || line.startsWith("ERROR ")) {
        event.kind = Event::Kind::Error;
        event.text = line.mid(6);
    } else if (line.startsWith("NOTIFY ")) {
        event.kind = Event::Kind::Notify;
        event.text = line.mid(7);
    } else {
        fail("unexpected line: " + line.left(64), false);
        return;
    }
    m_events.push_back(std::move(event));
}
