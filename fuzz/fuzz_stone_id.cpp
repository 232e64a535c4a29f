// sources: workflows/StoneIdText.cpp
// options: -max_len=1024

#include "FuzzCheck.h"
#include "workflows/StoneIdText.h"

namespace {

void check(bool condition, const char* what, const QString& detail = QString())
{
    if (!condition)
        fuzzFail("fuzz_stone_id", what, detail);
}

} // namespace

// Any scanned text: a text without "#", ending in "#" or without "-" is kept; otherwise the result
// is the text before the first "-", a "-", and everything after the first "#" with at most its first
// inner "-" turned into a point.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QString text = fuzzText(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1), data[0] & 1);
    const QString shaped = StoneIdText::reshape(text);

    const qsizetype n = text.size();
    const qsizetype hash = text.indexOf(u'#');
    const qsizetype firstDash = text.indexOf(u'-');
    if (hash < 0 || hash == n - 1 || firstDash < 0) {
        check(shaped == text, "a text that cannot be reshaped was changed", text);
        return 0;
    }
    const QString prefix = text.left(firstDash);
    const QString tail = text.mid(hash + 1);
    check(shaped.size() == prefix.size() + 1 + tail.size(), "result is not prefix, '-' and tail long",
          shaped);
    check(shaped.startsWith(prefix + u'-'), "result does not start with the lot prefix and '-'", shaped);
    const QStringView shapedTail = QStringView(shaped).mid(prefix.size() + 1);
    qsizetype changed = -1;
    for (qsizetype i = 0; i < tail.size(); ++i) {
        if (shapedTail[i] == tail[i])
            continue;
        check(changed < 0, "more than one character of the tail changed", shaped);
        check(tail[i] == u'-' && shapedTail[i] == u'.', "a change other than '-' to '.'", shaped);
        changed = i;
    }
    const qsizetype innerDash = tail.indexOf(u'-');
    const bool inner = innerDash >= 0 && innerDash < tail.size() - 1;
    check(changed == (inner ? innerDash : -1), "not exactly the first inner '-' of the tail became a point",
          shaped);
    return 0;
}
