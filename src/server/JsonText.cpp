#include "server/JsonText.h"

#include "core/NumberText.h"

#include <QRegularExpression>

#include <array>
#include <cmath>

namespace {

constexpr char hexDigits[] = "0123456789abcdef";

void appendControl(QByteArray& out, unsigned char c)
{
    switch (c) {
    case '\b':
        out.append("\\b", 2);
        break;
    case '\f':
        out.append("\\f", 2);
        break;
    case '\n':
        out.append("\\n", 2);
        break;
    case '\r':
        out.append("\\r", 2);
        break;
    case '\t':
        out.append("\\t", 2);
        break;
    default: {
        const char escape[6] = {'\\', 'u', '0', '0', hexDigits[c >> 4], hexDigits[c & 15]};
        out.append(escape, 6);
    }
    }
}

// Bytes that cannot stand raw inside a JSON string, or that are not ASCII (a file byte is a
// Latin-1 character and must become UTF-8).
constexpr std::array<bool, 256> specialBytes = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    return table;
}();

} // namespace

void JsonText::appendEscaped(QByteArray& out, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.append('\\');
            out.append(ch);
        } else if (c < 0x20 || c == 0x7f) {
            if (c == 0x7f)
                out.append("\\u007f", 6);
            else
                appendControl(out, c);
        } else {
            out.append(ch);
        }
    }
}

QByteArray JsonText::escaped(QStringView text)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    appendEscaped(out, text);
    return out;
}

void JsonText::appendPoints(QByteArray& out, const QByteArray& fileBytes)
{
    const char* data = fileBytes.constData();
    const qsizetype size = fileBytes.size();
    out.reserve(out.size() + size + size / 16 + 16);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (!specialBytes[c])
            continue;
        out.append(data + runStart, i - runStart);
        if (c == '\r' && i + 1 < size && data[i + 1] == '\n') {
            out.append("\\r\\n", 4);
            ++i;
        } else if (c == '"' || c == '\\') {
            out.append('\\');
            out.append(char(c));
        } else if (c < 0x20) {
            appendControl(out, c);
        } else {
            const char latin1[2] = {char(0xc0 | (c >> 6)), char(0x80 | (c & 0x3f))};
            out.append(latin1, 2);
        }
        runStart = i + 1;
    }
    out.append(data + runStart, size - runStart);
}

QByteArray JsonText::numberOrNull(const QString& text)
{
    static const QRegularExpression jsonNumber(
        QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?$"));
    if (jsonNumber.match(text).hasMatch())
        return text.toLatin1();
    const auto number = NumberText::parseWhole(text);
    if (number && std::isfinite(*number))
        return NumberText::format(*number).toLatin1();
    return QByteArrayLiteral("null");
}
