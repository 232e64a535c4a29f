#pragma once

#include <QByteArray>
#include <QString>

// The reply fields the station reads out of one reply of the spectrometer software. Free of
// widgets: the notification handler shows them, the health check reads the value.
struct ReplyFields
{
    QString field0; // from character 5 to the end
    QString field1; // from character 8 to the end when the reply is longer than 7, else empty
    QString field2; // the measured file's path: field1 up to two characters before its first
                    // blank when that blank is past position 9, else empty

    static ReplyFields split(const QString& reply);
    // Characters 3 to 12 (fewer when the reply is shorter): peak values and status codes.
    static QString valueOf(const QString& reply);
    // The software's bytes as text: UTF-8 when they are valid UTF-8, else the 8-bit code page.
    static QString decode(const QByteArray& bytes);
};
