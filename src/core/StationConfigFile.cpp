#include "core/StationConfigFile.h"

#include "core/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StationConfigFile {

namespace {

const QByteArray TrueForm = QByteArrayLiteral("#TRUE#");
const QByteArray FalseForm = QByteArrayLiteral("#FALSE#");

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves open keep their C1 code.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decode(const QByteArray& bytes, Encoding encoding)
{
    if (encoding == Encoding::Utf8) {
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
    if (encoding == Encoding::Utf8)
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

bool writeAll(std::FILE* file, const char* data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

bool writeAllFd(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Writes over the file itself: its inode, owner, mode and other links stay. The old tail is cut off
// only after the new content is in, so a failure part way leaves the 26 values of one of the two.
bool rewriteInPlace(const QByteArray& targetName, const QByteArray& content, const StepHook& hook)
{
    if (ask(hook, WriteStep::OpenInPlace) != StepOutcome::Proceed)
        return false;
    const int fd = ::open(targetName.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ask(hook, WriteStep::Write) == StepOutcome::Proceed &&
              writeAllFd(fd, content.constData(), static_cast<size_t>(content.size())) &&
              ::ftruncate(fd, content.size()) == 0;
    ok = ok && ask(hook, WriteStep::Sync) == StepOutcome::Proceed && ::fsync(fd) == 0;
    ok = ok && ask(hook, WriteStep::Close) == StepOutcome::Proceed;
    return ::close(fd) == 0 && ok;
}

bool rewrite(const QString& path, const QByteArray& content, const StepHook& hook)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // Through a symbolic link the file it points to is rewritten, the link stays.
    const QString target = info.canonicalFilePath();
    if (target.isEmpty())
        return false;
    const QByteArray targetName = QFile::encodeName(target);
    struct stat original
    {
    };
    if (::stat(targetName.constData(), &original) != 0 || !S_ISREG(original.st_mode))
        return false;
    // A rename would leave the other names of the file with the old content.
    if (original.st_nlink > 1)
        return rewriteInPlace(targetName, content, hook);

    QByteArray tempName = targetName + QByteArrayLiteral(".XXXXXX");
    std::FILE* file = nullptr;
    bool keepTemp = false;
    auto giveUp = [&]() {
        if (file)
            std::fclose(file);
        if (!keepTemp)
            ::unlink(tempName.constData());
        return false;
    };

    StepOutcome outcome = ask(hook, WriteStep::CreateTemp);
    if (outcome == StepOutcome::Abandon)
        return false;
    // A program folder that takes no new file (while the file itself is writable).
    const int fd = outcome == StepOutcome::Proceed ? ::mkstemp(tempName.data()) : -1;
    if (fd < 0)
        return rewriteInPlace(targetName, content, hook);
    ::fchmod(fd, original.st_mode & 07777);
    struct stat created
    {
    };
    const bool sameOwner =
        ::fstat(fd, &created) == 0 && created.st_uid == original.st_uid && created.st_gid == original.st_gid;
    if (!sameOwner && ::fchown(fd, original.st_uid, original.st_gid) != 0) {
        ::close(fd);
        ::unlink(tempName.constData());
        return rewriteInPlace(targetName, content, hook);
    }
    file = ::fdopen(fd, "wb");
    if (!file) {
        ::close(fd);
        return giveUp();
    }

    outcome = ask(hook, WriteStep::Write);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed) {
        // A write that fails part way, like a disk that fills up.
        writeAll(file, content.constData(), static_cast<size_t>(content.size() / 2));
        return giveUp();
    }
    if (!writeAll(file, content.constData(), static_cast<size_t>(content.size())))
        return giveUp();

    outcome = ask(hook, WriteStep::Flush);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed || std::fflush(file) != 0)
        return giveUp();

    outcome = ask(hook, WriteStep::Sync);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed || ::fsync(::fileno(file)) != 0)
        return giveUp();

    outcome = ask(hook, WriteStep::Close);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed)
        return giveUp();
    const int closed = std::fclose(file);
    file = nullptr;
    if (closed != 0)
        return giveUp();

    outcome = ask(hook, WriteStep::Rename);
    keepTemp = outcome == StepOutcome::Abandon;
    if (outcome != StepOutcome::Proceed || ::rename(tempName.constData(), targetName.constData()) != 0)
        return giveUp();

    // Make the rename itself durable; the file is already whole either way.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
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
    return decoder.hasError() ? Encoding::Windows1252 : Encoding::Utf8;
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
    qsizetype pos = 0;
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
    QByteArray out;
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
