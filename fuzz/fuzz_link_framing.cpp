// sources: spectro/LinkReplyParser.cpp
// options: -max_len=16384

#include "FuzzCheck.h"
#include "spectro/LinkReplyParser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

namespace {

using Event = LinkReplyParser::Event;

void check(bool condition, const char* what, const QByteArray& detail = QByteArray())
{
    if (!condition)
        fuzzFail("fuzz_link_framing", what, QString::fromLatin1(detail.left(200)));
}

bool sameEvent(const Event& a, const Event& b)
{
    return a.kind == b.kind && a.text == b.text && a.value == b.value && a.hasValue == b.hasValue &&
           a.tooLarge == b.tooLarge;
}

struct Outcome
{
    std::vector<Event> events;
    bool failed = false;
    qsizetype buffered = 0;
};

// Feeds the stream in the given pieces and collects events after every piece, as the link does.
Outcome run(const QByteArray& stream, const std::vector<qsizetype>& cuts)
{
    LinkReplyParser parser;
    Outcome out;
    qsizetype from = 0;
    auto feed = [&](qsizetype to) {
        parser.feed(stream.mid(from, to - from));
        from = to;
        while (parser.hasEvent())
            out.events.push_back(parser.takeEvent());
    };
    for (qsizetype cut : cuts)
        feed(cut);
    feed(stream.size());
    out.failed = parser.failed();
    out.buffered = parser.bufferedBytes();
    return out;
}

// Writes events the way the software sends them.
QByteArray encode(const std::vector<Event>& events)
{
    QByteArray out;
    for (const Event& e : events) {
        switch (e.kind) {
        case Event::Kind::Ok:
            out +=
                e.hasValue ? "OK " + QByteArray::number(e.value.size()) + "\n" + e.value : QByteArray("OK\n");
            break;
        case Event::Kind::Error:
            out += "ERROR " + e.text + "\n";
            break;
        case Event::Kind::Notify:
            out += "NOTIFY " + e.text + "\n";
            break;
        case Event::Kind::ProtocolError:
            break;
        }
    }
    return out;
}

QByteArray oneLine(QByteArray text)
{
    text.replace('\n', ' ');
    return text;
}

} // namespace

// The same bytes split anywhere give the same events; answers and notifications the software writes,
// values with CR, LF and NUL included, come back whole and in order; nothing is read that was not sent.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool structured = in.ConsumeBool();
    const int pieces = in.ConsumeIntegralInRange<int>(0, 8);
    std::vector<uint16_t> cutSeeds;
    for (int i = 0; i < pieces; ++i)
        cutSeeds.push_back(in.ConsumeIntegral<uint16_t>());

    QByteArray stream;
    std::vector<Event> sent;
    if (structured) {
        while (in.remaining_bytes() > 0) {
            Event e;
            const int kind = in.ConsumeIntegralInRange<int>(0, 3);
            const std::string text = in.ConsumeRandomLengthString(64);
            if (kind == 0) {
                e.kind = Event::Kind::Ok;
            } else if (kind == 1) {
                e.kind = Event::Kind::Ok;
                e.hasValue = true;
                e.value = QByteArray(text.data(), qsizetype(text.size()));
            } else if (kind == 2) {
                e.kind = Event::Kind::Error;
                e.text = oneLine(QByteArray(text.data(), qsizetype(text.size())));
            } else {
                e.kind = Event::Kind::Notify;
                e.text = oneLine(QByteArray(text.data(), qsizetype(text.size())));
            }
            sent.push_back(e);
        }
        stream = encode(sent);
    } else {
        const std::string rest = in.ConsumeRemainingBytesAsString();
        stream = QByteArray(rest.data(), qsizetype(rest.size()));
    }

    std::vector<qsizetype> cuts;
    for (uint16_t seed : cutSeeds)
        cuts.push_back(stream.isEmpty() ? 0 : qsizetype(seed) % (stream.size() + 1));
    std::sort(cuts.begin(), cuts.end());
    std::vector<qsizetype> everyByte;
    for (qsizetype i = 1; i < stream.size() && stream.size() <= 128; ++i)
        everyByte.push_back(i);

    const Outcome whole = run(stream, {});
    const Outcome split = run(stream, cuts);
    const Outcome bytewise = run(stream, everyByte);
    for (const Outcome* other : {&split, &bytewise}) {
        check(other->failed == whole.failed, "splitting changed whether the stream failed", stream);
        check(other->events.size() == whole.events.size(), "splitting changed the number of events", stream);
        for (size_t i = 0; i < whole.events.size(); ++i)
            check(sameEvent(other->events[i], whole.events[i]), "splitting changed an event", stream);
        check(other->buffered == whole.buffered, "splitting changed what stays buffered", stream);
    }

    check(whole.buffered <= stream.size(), "more bytes buffered than received");
    size_t protocolErrors = 0;
    for (const Event& e : whole.events) {
        check(stream.contains(e.value), "an answer's value was not in the stream", e.value);
        check(!e.text.contains('\n'), "a line's text holds a line feed", e.text);
        check(e.value.size() <= LinkReplyParser::MaxValueBytes, "a value beyond the limit was accepted");
        check(e.hasValue || e.value.isEmpty(), "a value on an answer without one");
        if (e.kind == Event::Kind::ProtocolError)
            ++protocolErrors;
        else
            check(e.kind == Event::Kind::Ok || stream.contains(e.text), "a text was not in the stream",
                  e.text);
    }
    check(protocolErrors <= 1 &&
              (protocolErrors == 0 || whole.events.back().kind == Event::Kind::ProtocolError),
          "events after a protocol error");
    check(whole.failed == (protocolErrors == 1), "failed state and protocol error disagree");

    if (structured) {
        check(!whole.failed, "a well-formed stream failed", stream);
        check(whole.buffered == 0, "a complete stream left bytes buffered", stream);
        check(whole.events.size() == sent.size(), "not every message came back", stream);
        for (size_t i = 0; i < sent.size(); ++i)
            check(sameEvent(whole.events[i], sent[i]), "a message came back changed", stream);
    }
    return 0;
}
