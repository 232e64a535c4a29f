// sources: server/ReplyText.cpp
// options: -max_len=8192

#include "FuzzCheck.h"
#include "server/ReplyText.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

void check(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fuzzFail("fuzz_tagged_value", what, detail);
}

} // namespace

// Any page and key: a value is the page's own text, free of "<" and of outer blanks; a page
// without the element says "Not Found"; an element written by the diagnostics page reads back.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool utf8 = in.ConsumeBool();
    const int blanksBefore = in.ConsumeIntegralInRange<int>(0, 3);
    const int blanksAfter = in.ConsumeIntegralInRange<int>(0, 3);
    const std::string keyBytes = in.ConsumeRandomLengthString(16);
    const std::string valueBytes = in.ConsumeRandomLengthString(64);
    const std::string pageBytes = in.ConsumeRemainingBytesAsString();
    const QString key = fuzzText(keyBytes.data(), qsizetype(keyBytes.size()), utf8);
    const QString page = fuzzText(pageBytes.data(), qsizetype(pageBytes.size()), utf8);
    const QString pattern = QStringLiteral("ID=") + key + QStringLiteral(">");

    bool ok = false;
    const QString value = ReplyText::extractTaggedValue(page, key, &ok);
    const qsizetype found = page.indexOf(pattern, 0, Qt::CaseInsensitive);
    if (found < 0) {
        check(ok && value == QStringLiteral("Not Found"), "a page without the element gave a value", page);
    } else if (!ok) {
        check(value.isEmpty(), "a failed extraction gave a value", value);
        check(page.indexOf(u'<', found + pattern.size()) < 0, "extraction failed although a '<' follows",
              page);
    } else {
        check(!value.contains(u'<'), "value holds a '<'", value);
        check(!value.startsWith(u' ') && !value.endsWith(u' '), "value keeps outer blanks", value);
        const qsizetype b = found + pattern.size();
        qsizetype lead = 0;
        while (b + lead < page.size() && page[b + lead] == u' ')
            ++lead;
        const qsizetype close = page.indexOf(u'<', b);
        check(b + lead + value.size() <= close, "value runs past the closing '<'", value);
        check(QStringView(page).mid(b + lead, value.size()) == value,
              "value is not the page's text after the element", value);
        for (qsizetype i = b + lead + value.size(); i < close; ++i)
            check(page[i] == u' ', "more than blanks between the value and its '<'", page);
    }

    // An element as the diagnostics page writes it: <td ID=KEY> value </td>.
    QString written = fuzzText(valueBytes.data(), qsizetype(valueBytes.size()), utf8);
    written.remove(u'<');
    while (written.startsWith(u' '))
        written.remove(0, 1);
    while (written.endsWith(u' '))
        written.chop(1);
    const QString prefix = page.left(page.indexOf(u'<') < 0 ? page.size() : page.indexOf(u'<'));
    const QString element = prefix + QStringLiteral("<td ID=") + key + QStringLiteral(">") +
                            QString(blanksBefore, u' ') + written + QString(blanksAfter, u' ') +
                            QStringLiteral("</td>");
    if (element.indexOf(pattern, 0, Qt::CaseInsensitive) == prefix.size() + 4) {
        bool elementOk = false;
        const QString back = ReplyText::extractTaggedValue(element, key, &elementOk);
        check(elementOk && back == written, "an element's value does not read back", element);
    }
    return 0;
}
