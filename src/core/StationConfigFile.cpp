#include "core/StationConfigFile.h"

#include "core/NumberText.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StationConfigFile {

namespace {

const QByteArray TrueForm = QByteArrayLiteral("#TRUE#");
const QByteArray FalseForm = QByteArrayLiteral("#FALSE#");

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool isSeparator(char c)
{
    return c == ',' || isLineEnd(c);
}

// Reads one value starting at pos; leaves pos on the separator that ended it (or at the end).
StoredValue readValue(const char* data, qsizetype size, qsizetype& pos)
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
        return StoredValue(QString::fromLatin1(text));
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
    const QString text = QString::fromLatin1(bare);
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

QByteArray quoted(const QString& text)
{
    QByteArray out = text.toLatin1();
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

bool rewrite(const QString& path, const Values& values, const StepHook& hook)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // Through a symbolic link the file it points to is rewritten, the link stays.
    const QString target = info.canonicalFilePath();
    if (target.isEmpty())
        return false;
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray content = serialize(values);

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
    if (outcome != StepOutcome::Proceed)
        return false;
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0)
        return false;
    struct stat original
    {
    };
    if (::stat(targetName.constData(), &original) == 0)
        ::fchmod(fd, original.st_mode & 07777);
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

Values parse(const QByteArray& content)
{
    Values values;
    const char* data = content.constData();
    const qsizetype size = content.size();
    qsizetype pos = 0;
    for (StoredValue& value : values) {
        if (pos >= size)
            break;
        value = readValue(data, size, pos);
        skipSeparator(data, size, pos);
    }
    return values;
}

QByteArray serialize(const Values& values)
{
    QByteArray out;
    for (const StoredValue& value : values) {
        switch (value.form()) {
        case StoredValue::Form::Empty:
            break;
        case StoredValue::Form::Text:
            out += quoted(value.toText());
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

std::optional<Values> read(const QString& path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Values{};
    return parse(file.readAll());
}

bool write(const QString& path, const Values& values)
{
    return write(path, values, StepHook());
}

bool write(const QString& path, const Values& values, const StepHook& hook)
{
    try {
        return rewrite(path, values, hook);
    } catch (...) {
        return false;
    }
}

} // namespace StationConfigFile
