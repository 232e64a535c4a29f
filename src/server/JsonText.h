#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Values placed into the request bodies' templates. The bodies are built by hand so that their
// bytes stay exactly as the server expects them; these helpers keep them valid JSON.
class JsonText
{
public:
    // The text as UTF-8, escaped for use between the double quotes of a JSON string. Ordinary
    // values (letters, digits, blanks, punctuation other than quote and backslash) are unchanged.
    static void appendEscaped(QByteArray& out, QStringView text);
    static QByteArray escaped(QStringView text);

    // A data point file's bytes (one character per byte) as the text of the points member:
    // every CR LF pair becomes the four characters \r\n, and everything else that JSON does not
    // allow raw inside a string is escaped too. A plain table passes through byte for byte.
    static void appendPoints(QByteArray& out, const QByteArray& fileBytes);

    // A value for an unquoted numeric member: the text itself when it is a JSON number,
    // a number written plainly when the text reads as one (" 24.8", "+3"), otherwise null.
    static QByteArray numberOrNull(const QString& text);
};
