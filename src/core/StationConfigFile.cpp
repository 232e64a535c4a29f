#include "core/StationConfigFile.h"

#include "core/DurableFile.h"
#include "core/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

namespace StationConfigFile {

namespace {

const QByteArray TrueForm = QByteArrayLiteral("#TRUE#");
const QByteArray FalseForm = QByteArrayLiteral("#FALSE#");

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves open keep their C1 code.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

QString decode(const QByteArray& bytes, Encoding encoding)
{
    if (encoding != Encoding::Windows1252) {
        // A byte order mark stays part of the text, so the file rewrites byte for byte.
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return decoder.decode(bytes);
    }
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(Cp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

char toCp1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (Cp1252High[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

QByteArray encode(const QString& text, Encoding encoding)
{
    if (encoding != Encoding::Windows1252)
        return text.toUtf8();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = toCp1252(text[i].unicode());
    return bytes;
}

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isSeparator(char c)
{
    return c == ',' || isLineEnd(c);
}

// Reads one value starting at pos; leaves pos on the separator that ended it (or at the end).
StoredValue readValue(const char* data, qsizetype size, qsizetype& pos, Encoding encoding)
{
    while (pos < size && data[pos] == ' ')
        ++pos;
    if (pos < size && data[pos] == '"') {
        ++pos;
        QByteArray text;
        while (pos < size) {
            // Copy the run up to the next quote in one piece.
            qsizetype runEnd = pos;
            while (runEnd < size && data[runEnd] != '"')
                ++runEnd;
            text.append(data + pos, runEnd - pos);
            pos = runEnd;
            if (pos >= size)
                break; // unterminated: the rest of the file is the text
            if (pos + 1 < size && data[pos + 1] == '"') {
                text.append('"');
                pos += 2;
                continue;
            }
            qsizetype after = pos + 1;
            while (after < size && data[after] == ' ')
                ++after;
            if (after >= size || isSeparator(data[after])) {
                pos = after;
                break;
            }
            text.append('"');
            ++pos;
        }
        return StoredValue(decode(text, encoding));
    }
    const qsizetype begin = pos;
    while (pos < size && !isSeparator(data[pos]))
        ++pos;
    qsizetype end = pos;
    while (end > begin && data[end - 1] == ' ')
        --end;
    if (end == begin)
        return StoredValue();
    const QByteArray bare = QByteArray::fromRawData(data + begin, end - begin);
    if (bare.compare(TrueForm, Qt::CaseInsensitive) == 0)
        return StoredValue(true);
    if (bare.compare(FalseForm, Qt::CaseInsensitive) == 0)
        return StoredValue(false);
    const QString text = decode(bare, encoding);
    if (const auto number = NumberText::parseWhole(text))
        return StoredValue(*number);
    return StoredValue(text);
}

void skipSeparator(const char* data, qsizetype size, qsizetype& pos)
{
    if (pos >= size)
        return;
    if (data[pos] == '\r' && pos + 1 < size && data[pos + 1] == '\n')
        pos += 2;
    else
        ++pos;
}

QByteArray quoted(const QString& text, Encoding encoding)
{
    QByteArray out = encode(text, encoding);
    out.replace('"', QByteArrayLiteral("\"\""));
    out.prepend('"');
    out.append('"');
    return out;
}

StepOutcome ask(const StepHook& hook, WriteStep step)
{
    return hook ? hook(step) : StepOutcome::Proceed;
}

// From the start of the file: the content, then the rest of what was there cut off.
bool overwrite(QFile& file, const QByteArray& content)
{
    return file.seek(0) && file.write(content) == content.size() && file.resize(content.size());
}

// Puts the old content back over a rewrite in place that failed part way, and reads it back to be sure.
bool restore(QFile& file, const QByteArray& old)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (overwrite(file, old) && DurableFile::flushToDisk(file.handle()) && file.seek(0) &&
            file.readAll() == old)
            return true;
    }
    return false;
}

// Writes over the file itself: its identity, owner, mode and other names stay. That cannot be one
// step, so the old content is read first and put back when any part of the new one could not be
// written: the file holds the 26 values of one of the two, whole.
bool rewriteInPlace(const QString& target, const QByteArray& content, const StepHook& hook)
{
    if (ask(hook, WriteStep::OpenInPlace) != StepOutcome::Proceed)
        return false;
    QFile file(target);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    // What could not be read could not be put back.
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    StepOutcome outcome = ask(hook, WriteStep::Write);
    if (outcome == StepOutcome::Abandon)
        return false;
    bool ok = false;
    if (outcome == StepOutcome::Fail) {
        // A write that fails part way: the first half of the new content over the old.
        if (file.seek(0))
            file.write(content.left(content.size() / 2));
    } else {
        ok = overwrite(file, content);
    }
    if (ok) {
        outcome = ask(hook, WriteStep::Sync);
        if (outcome == StepOutcome::Abandon)
            return false;
        ok = outcome == StepOutcome::Proceed && DurableFile::flushToDisk(file.handle());
    }
    if (!ok) {
        restore(file, old);
        return false;
    }
    // The new content is on the disk: a close that fails now leaves it whole.
    outcome = ask(hook, WriteStep::Close);
    file.close();
    return outcome == StepOutcome::Proceed && file.error() == QFileDevice::NoError;
}

// Creates a file of a new name beside target; false when the folder takes no new file.
bool createBeside(QFile& file, const QString& target)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const quint32 tag = QRandomGenerator::global()->generate() & 0xFFFFFF;
        file.setFileName(target + QStringLiteral(".%1").arg(tag, 6, 16, QLatin1Char('0')));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!QFileInfo::exists(file.fileName()))
            return false;
    }
    return false;
}

bool rewrite(const QString& path, const QByteArray& content, const StepHook& hook)
{
    // Through a symbolic link the file it points to is rewritten, the link stays.
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty() || !QFileInfo(target).isFile())
        return false;
    // A rename would leave the other names of the file with the old content.
    if (DurableFile::hasOtherNames(target))
        return rewriteInPlace(target, content, hook);

    QFile temp;
    bool keepTemp = false;
    auto giveUp = [&]() {
        temp.close();
        if (!keepTemp)
            temp.remove();
        return false;
    };

    StepOutcome outcome = ask(hook, WriteStep::CreateTemp);
    if (outcome == StepOutcome::Abandon)
        return false;
    // A program folder that takes no new file (while the file itself is writable).
    if (outcome != StepOutcome::Proceed || !createBeside(temp, target))
        return rewriteInPlace(target, content, hook);
    if (!DurableFile::takeOverAccess(temp.handle(), target)) {
        giveUp();
        return rewriteInPlace(target, content, hook);
    }

    outcome = ask(hook, WriteStep::Write);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed) {
        // A write that fails part way, like a disk that fills up.
        temp.write(content.left(content.size() / 2));
        return giveUp();
    }
    if (temp.write(content) != content.size())
        return giveUp();

    outcome = ask(hook, WriteStep::Flush);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed || !temp.flush())
        return giveUp();

    outcome = ask(hook, WriteStep::Sync);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed || !DurableFile::flushToDisk(temp.handle()))
        return giveUp();

    outcome = ask(hook, WriteStep::Close);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed)
        return giveUp();
    temp.close();
    if (temp.error() != QFileDevice::NoError)
        return giveUp();

    outcome = ask(hook, WriteStep::Rename);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed)
        return giveUp();
    if (!DurableFile::replace(temp.fileName(), target)) {
        keepTemp = !QFileInfo::exists(target); // then it holds the only copy
        return giveUp();
    }
    return true;
}

} // namespace

QString path(const QString& programFolder)
{
    return programFolder + QStringLiteral("/d_VELORA.txt");
}

Encoding detectEncoding(const QByteArray& content)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = decoder.decode(content); // the conversion runs only when assigned
    if (decoder.hasError())
        return Encoding::Windows1252;
    return content.startsWith(ByteOrderMark) ? Encoding::Utf8WithBom : Encoding::Utf8;
}

Values parse(const QByteArray& content)
{
    return parse(content, detectEncoding(content));
}

Values parse(const QByteArray& content, Encoding encoding)
{
    Values values;
    const char* data = content.constData();
    const qsizetype size = content.size();
    // An editor's byte order mark is no part of field 1, whatever the rest of the file is.
    qsizetype pos = content.startsWith(ByteOrderMark) ? ByteOrderMark.size() : 0;
    for (StoredValue& value : values) {
        if (pos >= size)
            break;
        value = readValue(data, size, pos, encoding);
        skipSeparator(data, size, pos);
    }
    return values;
}

QByteArray serialize(const Values& values, Encoding encoding)
{
    QByteArray out = encoding == Encoding::Utf8WithBom ? ByteOrderMark : QByteArray();
    for (const StoredValue& value : values) {
        switch (value.form()) {
        case StoredValue::Form::Empty:
            break;
        case StoredValue::Form::Text:
            out += quoted(value.toText(), encoding);
            break;
        case StoredValue::Form::Number:
            out += value.toText().toLatin1();
            break;
        case StoredValue::Form::Boolean:
            out += value.toBool() ? TrueForm : FalseForm;
            break;
        }
        out += "\r\n";
    }
    return out;
}

std::optional<Values> read(const QString& path, Encoding* encoding)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Values{};
    const QByteArray content = file.readAll();
    const Encoding found = detectEncoding(content);
    if (encoding)
        *encoding = found;
    return parse(content, found);
}

bool write(const QString& path, const Values& values, Encoding encoding)
{
    return write(path, values, StepHook(), encoding);
}

bool write(const QString& path, const Values& values, const StepHook& hook, Encoding encoding)
{
    try {
        return rewrite(path, serialize(values, encoding), hook);
    } catch (...) {
        return false;
    }
}

} // namespace StationConfigFile
