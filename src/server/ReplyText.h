#pragma once

#include <QString>

#include <optional>

// How the station reads text that the server, the stone-ID service and the diagnostics page send:
// fixed cuts and searches, never a parser. Free of widgets so it can be exercised on its own.
namespace ReplyText {

// First occurrence of key (exact), value from 1-based position p + skip with the last drop
// characters removed; nothing when that tail is shorter than drop.
std::optional<QString> cutAfterKey(const QString& reply, const QString& key, int skip, int drop);

// Text of the element whose ID attribute is key ("Not Found" when there is none); *ok is false when
// no "<" closes the value.
QString extractTaggedValue(const QString& page, const QString& key, bool* ok);

// Whether a lot code from the server may name spectrum files and stand in spectrometer commands.
bool isAcceptableLotCode(const QString& lotCode);

// Whether a token from a reply may stand in an Authorization header: no control characters or
// line separators, which would end the header line and add others.
bool isAcceptableToken(const QString& token);

QString encodeBase64(const QString& text);

} // namespace ReplyText
