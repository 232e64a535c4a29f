// sources: server/ReplyText.cpp
// options: -max_len=512

#include "FuzzCheck.h"
#include "server/ReplyText.h"

#include <QDir>
#include <QFileInfo>

namespace {

void check(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fuzzFail("fuzz_lot_code", what, detail);
}

QString lotCodeFrom(const uint8_t* data, size_t size)
{
    switch (data[0] % 3) {
    case 0:
        return QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    case 1:
        return QString::fromLatin1(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    default: // raw UTF-16: lone surrogates, format and unassigned characters
        return QString(reinterpret_cast<const QChar*>(data + 1), qsizetype((size - 1) / 2));
    }
}

} // namespace

// An accepted lot code never holds a path separator, "..", a quote, a control or line-breaking
// character, and names exactly one file inside the data folder.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QString code = lotCodeFrom(data, size);
    if (!ReplyText::isAcceptableLotCode(code))
        return 0;

    check(!code.isEmpty(), "an empty code was accepted");
    check(!code.contains(QStringLiteral("..")), "a code with '..' was accepted", code);
    for (const QChar c : code) {
        check(c != u'/' && c != u'\\', "a code with a path separator was accepted", code);
        check(c != u'"' && c != u'\'', "a code with a quote was accepted", code);
        check(c.category() != QChar::Other_Control, "a code with a control character was accepted", code);
        check(c.category() != QChar::Separator_Line && c.category() != QChar::Separator_Paragraph,
              "a code with a line separator was accepted", code);
    }
    check(QStringView(code).isValidUtf16(), "a code with a lone surrogate was accepted", code);
    // The measured file's name built from it stays in the data folder under that very name.
    const QString fileName = code + QStringLiteral("-1") + QStringLiteral("01_R.dpt");
    const QString inFolder = QStringLiteral("/data/") + fileName;
    check(QDir::cleanPath(inFolder) == inFolder, "the file name leaves or changes the data folder path",
          code);
    check(QFileInfo(inFolder).fileName() == fileName, "the file name is not one name", code);
    return 0;
}
