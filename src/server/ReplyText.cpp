#include "server/ReplyText.h"

#include <QByteArray>

#include <algorithm>

namespace ReplyText {

namespace {

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

std::optional<QString> cutAfterKey(const QString& reply, const QString& key, int skip, int drop)
{
    const qsizetype found = reply.indexOf(key);
    const qsizetype p = found < 0 ? 0 : found + 1;
    const qsizetype start = p + skip; // 1-based
    const QString tail = start - 1 < reply.size() ? reply.mid(std::max<qsizetype>(start - 1, 0)) : QString();
    if (tail.size() < drop)
        return std::nullopt;
    return tail.left(tail.size() - drop);
}

QString extractTaggedValue(const QString& page, const QString& key, bool* ok)
{
    if (ok)
        *ok = true;
    const QString pattern = QStringLiteral("ID=") + key + QStringLiteral(">");
    const qsizetype found = page.indexOf(pattern, 0, Qt::CaseInsensitive);
    if (found < 0)
        return QStringLiteral("Not Found");
    const qsizetype b = found + pattern.size();
    const qsizetype c = page.indexOf(u'<', b);
    if (c < 0) {
        if (ok)
            *ok = false;
        return QString();
    }
    return trimBlanks(page.mid(b, c - b));
}

bool isAcceptableLotCode(const QString& lotCode)
{
    if (lotCode.isEmpty() || lotCode.size() > 128)
        return false;
    if (lotCode.contains(QStringLiteral("..")))
        return false;
    if (lotCode.endsWith(u' ') || lotCode.endsWith(u'.'))
        return false;
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|'");
    for (const QChar c : lotCode) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c))
            return false;
        // C1 controls (U+0085 is a line end) and line or paragraph separators break lines too.
        const QChar::Category category = c.category();
        if (c.isSurrogate() || category == QChar::Other_Format || category == QChar::Other_NotAssigned ||
            category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

bool isAcceptableToken(const QString& token)
{
    return std::none_of(token.cbegin(), token.cend(), [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Other_Control || category == QChar::Separator_Line ||
               category == QChar::Separator_Paragraph;
    });
}

QString encodeBase64(const QString& text)
{
    return QString::fromLatin1(text.toLatin1().toBase64());
}

} // namespace ReplyText
