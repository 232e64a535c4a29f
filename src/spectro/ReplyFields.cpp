#include "spectro/ReplyFields.h"

#include <QStringDecoder>

ReplyFields ReplyFields::split(const QString& reply)
{
    ReplyFields fields;
    fields.field0 = reply.mid(4);
    fields.field1 = reply.size() > 7 ? reply.mid(7) : QString();
    const qsizetype blank = fields.field1.indexOf(QLatin1Char(' ')) + 1; // 1-based, 0 when none
    fields.field2 = blank > 9 ? fields.field1.left(blank - 2) : QString();
    return fields;
}

QString ReplyFields::valueOf(const QString& reply)
{
    return reply.mid(2, 10);
}

QString ReplyFields::decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}
