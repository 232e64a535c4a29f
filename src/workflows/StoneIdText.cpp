#include "workflows/StoneIdText.h"

namespace StoneIdText {

QString reshape(const QString& text)
{
    const qsizetype n = text.size();
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash < 0 || hash == n - 1)
        return text;
    const qsizetype firstDash = text.indexOf(QLatin1Char('-'));
    // No "-" at all: there is no lot prefix to keep, so the scan stays as it was read.
    if (firstDash < 0)
        return text;
    const QString prefix = text.left(firstDash);
    QString tail = text.mid(hash + 1);
    const qsizetype dash = tail.indexOf(QLatin1Char('-'));
    if (dash >= 0 && dash < tail.size() - 1)
        tail[dash] = QLatin1Char('.');
    return prefix + QLatin1Char('-') + tail;
}

} // namespace StoneIdText
