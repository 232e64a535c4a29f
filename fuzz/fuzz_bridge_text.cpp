// sources: ../bridge/src/bridge/LineBuffer.cpp ../bridge/src/bridge/LinkRequest.cpp
// sources: ../bridge/src/dde/Utf8.cpp
// options: -max_len=4096

#include "FuzzCheck.h"
#include "bridge/LineBuffer.h"
#include "bridge/LinkRequest.h"
#include "dde/Utf8.h"

#include <QList>
#include <QStringDecoder>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

void check(bool condition, const char* what, const std::string& detail = std::string())
{
    if (!condition)
        fuzzFail("fuzz_bridge_text", what, QString::fromLatin1(detail.data(), qsizetype(detail.size())));
}

struct Lines
{
    std::vector<LineBuffer::Line> lines;
};

Lines split(const std::string& stream, const std::vector<size_t>& cuts, size_t maxLine)
{
    LineBuffer buffer(maxLine);
    Lines out;
    size_t from = 0;
    auto feed = [&](size_t to) {
        buffer.feed(stream.data() + from, to - from);
        from = to;
        while (buffer.hasLine())
            out.lines.push_back(buffer.takeLine());
    };
    for (size_t cut : cuts)
        feed(cut);
    feed(stream.size());
    return out;
}

// Qt's decoder as the independent judge of what is UTF-8.
bool qtValid(const std::string& bytes, QString* text)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    *text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError();
}

void checkText(const std::string& bytes)
{
    const Utf8Decoded decoded = decodeUtf8(bytes);
    QString qt;
    check(decoded.valid == qtValid(bytes, &qt), "validity differs from Qt's", bytes);
    if (decoded.valid) {
        check(encodeUtf8(decoded.codePoints) == bytes, "decoding and encoding changed the text", bytes);
        const QList<uint> ucs4 = qt.toUcs4();
        check(std::equal(ucs4.begin(), ucs4.end(), decoded.codePoints.begin(), decoded.codePoints.end()),
              "code points differ from Qt's", bytes);
        check(utf16Length(decoded.codePoints) == size_t(qt.size()), "UTF-16 length differs from Qt's", bytes);
        check(isAscii(bytes) == std::all_of(decoded.codePoints.begin(), decoded.codePoints.end(),
                                            [](char32_t c) { return c < 0x80; }),
              "ASCII test disagrees with the code points", bytes);
    } else {
        check(decoded.errorOffset < bytes.size(), "error beyond the text", bytes);
        check(decodeUtf8(bytes.substr(0, decoded.errorOffset)).valid, "text before the error is not valid",
              bytes);
        const std::string refusal = notUtf8Text(bytes, decoded.errorOffset);
        check(decodeUtf8(refusal).valid && refusal.find('\n') == std::string::npos,
              "refusal is not one line of UTF-8", refusal);
    }
    // Every character can be named on one line of UTF-8, by a number the text carries.
    for (size_t i = 0; i < decoded.codePoints.size() && i < 64; ++i) {
        const char32_t c = decoded.codePoints[i];
        const std::string name = describeCharacter(c);
        check(name.rfind("U+", 0) == 0 && decodeUtf8(name).valid, "name is not U+ and UTF-8", name);
        check(std::none_of(name.begin(), name.end(),
                           [](char b) { return static_cast<unsigned char>(b) < 0x20; }),
              "name holds a control byte", name);
        const size_t open = name.find(" (");
        const std::string number = name.substr(2, open == std::string::npos ? std::string::npos : open - 2);
        check(number.size() >= 4 && std::stoul(number, nullptr, 16) == c,
              "name's number is not the character", name);
        if (open != std::string::npos)
            check(name.substr(open) == " (" + encodeUtf8(std::u32string(1, c)) + ")",
                  "name shows another character", name);
    }
}

void checkRequest(const std::string& line)
{
    const LinkRequest request = LinkRequest::parse(line);
    check(request.name.find(' ') == std::string::npos, "verb holds a blank", line);
    const bool hasBlank = line.find(' ') != std::string::npos;
    check((hasBlank ? request.name + " " + request.argument : request.name) == line, "line not rebuilt",
          line);
    const bool known = request.name == "CONNECT" || request.name == "TIMEOUT" || request.name == "ADVISE" ||
                       request.name == "REQUEST" || request.name == "EXECUTE";
    check(known == (request.verb != LinkRequest::Verb::Unknown), "verb recognised wrongly", line);

    unsigned long ms = 0;
    if (request.timeoutMs(&ms)) {
        check(ms >= 1 && ms <= LinkRequest::MaxTimeoutMs, "time-out out of range", line);
        std::string digits = request.argument;
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        check(std::to_string(ms) == digits, "time-out is not the number written", line);
    }
    std::string service, topic;
    if (request.serviceAndTopic(&service, &topic))
        check(!service.empty() && !topic.empty() && service.find('|') == std::string::npos &&
                  service + "|" + topic == request.argument,
              "service and topic not split at the first bar", line);
}

} // namespace

// The station's byte stream into lines, split anywhere alike; each line into its verb and argument;
// the argument's UTF-8 judged as Qt judges it, decoded without loss, and its faults and characters
// named on one line.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const size_t maxLine = in.ConsumeIntegralInRange<size_t>(1, 256);
    const int pieces = in.ConsumeIntegralInRange<int>(0, 8);
    std::vector<uint16_t> seeds;
    for (int i = 0; i < pieces; ++i)
        seeds.push_back(in.ConsumeIntegral<uint16_t>());
    const std::string stream = in.ConsumeRemainingBytesAsString();

    std::vector<size_t> cuts;
    for (uint16_t seed : seeds)
        cuts.push_back(stream.empty() ? 0 : seed % (stream.size() + 1));
    std::sort(cuts.begin(), cuts.end());
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < stream.size() && stream.size() <= 256; ++i)
        everyByte.push_back(i);

    const Lines whole = split(stream, {}, maxLine);
    for (const Lines& other : {split(stream, cuts, maxLine), split(stream, everyByte, maxLine)}) {
        check(other.lines.size() == whole.lines.size(), "splitting changed the number of lines", stream);
        for (size_t i = 0; i < whole.lines.size() && i < other.lines.size(); ++i)
            check(other.lines[i].text == whole.lines[i].text &&
                      other.lines[i].oversized == whole.lines[i].oversized,
                  "splitting changed a line", stream);
    }

    // Without an oversized line the lines are the stream up to its last LF, CR before LF dropped.
    bool anyOversized = false;
    std::string rebuilt;
    for (const LineBuffer::Line& line : whole.lines) {
        check(line.text.find('\n') == std::string::npos, "a line holds a LF", line.text);
        check(line.text.size() <= maxLine, "a line is longer than the limit", line.text);
        check(!line.oversized || line.text.empty(), "an oversized line kept its text", line.text);
        anyOversized = anyOversized || line.oversized;
        rebuilt += line.text + "\n";
    }
    if (!anyOversized) {
        std::string expected;
        const size_t lastLf = stream.rfind('\n');
        if (lastLf != std::string::npos) {
            size_t from = 0;
            while (from <= lastLf) {
                const size_t lf = stream.find('\n', from);
                std::string text = stream.substr(from, lf - from);
                if (!text.empty() && text.back() == '\r')
                    text.pop_back();
                expected += text + "\n";
                from = lf + 1;
            }
        }
        check(rebuilt == expected, "lines are not the stream", stream);
    }

    for (const LineBuffer::Line& line : whole.lines) {
        if (line.oversized)
            continue;
        checkRequest(line.text);
        checkText(line.text);
    }
    if (whole.lines.empty())
        checkText(stream);
    return 0;
}
