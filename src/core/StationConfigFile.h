#pragma once

#include "core/StoredValue.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>

// The station's configuration file d_VELORA.txt: 26 values, one per line, read and written the way the
// console always has (quoted texts, bare numbers, empty lines). Pure file logic; which value goes to
// which field is the console's business.
//
// Reading:
//  - A value ends at a line end or, outside double quotes, at a comma. CR LF, a lone LF and a lone CR
//    each count as one line end, so files edited on other systems still read line by line.
//  - Spaces before a value are skipped; trailing spaces of a bare value are dropped.
//  - A value starting with a double quote is a text up to the closing quote; commas and line ends inside
//    belong to it. Two double quotes inside a quoted text stand for one double quote. A single quote
//    that is not followed by a separator is kept as part of the text (older files wrote quotes
//    unescaped). Spaces between the closing quote and the separator are skipped. An unterminated
//    quote takes the rest of the file.
//  - A bare value that reads as a decimal number is a number, #TRUE# and #FALSE# are booleans, any
//    other bare value is a text; nothing between two separators is empty; values missing at the end
//    of the file are empty.
//  - A file that is valid UTF-8 is read as UTF-8 (a Linux site types its paths so); any other file as
//    Windows-1252 (every byte readable, the five bytes that code page leaves open as U+0081 and so on).
//    A UTF-8 byte order mark at the start (Windows editors write one) is skipped.
//
// Writing: a text in double quotes with each double quote doubled (written unescaped, a quote in a text
// broke the value and shifted every later field); a number bare and shortest; empty as an empty line; a
// boolean as #TRUE#/#FALSE#; every line ends in CR LF. The file is written in the encoding it was read
// in, a byte order mark included; characters Windows-1252 cannot hold are written there as '?'.
// A written file reads back to the same values in the same forms and rewrites byte for byte.
namespace StationConfigFile {

inline constexpr int ValueCount = 26;
using Values = std::array<StoredValue, ValueCount>;

// programFolder + "/d_VELORA.txt".
QString path(const QString& programFolder);

enum class Encoding { Utf8, Utf8WithBom, Windows1252 };

// Utf8 for valid UTF-8 (plain ASCII included), Utf8WithBom when it also starts with a byte order
// mark, Windows1252 otherwise.
Encoding detectEncoding(const QByteArray& content);

// Never fails: any byte sequence gives 26 values, in time linear in its size.
Values parse(const QByteArray& content);
Values parse(const QByteArray& content, Encoding encoding);
QByteArray serialize(const Values& values, Encoding encoding = Encoding::Windows1252);

// Nothing when no file exists at path; a file that exists but cannot be read gives 26 empty values.
// encoding, when given, receives the encoding the file was read in.
std::optional<Values> read(const QString& path, Encoding* encoding = nullptr);

// Rewrites the file only if one exists at path (the program never creates it). The new content goes to a
// temporary file beside it, is flushed and synced, then put in place of the original in one step, so any
// failure leaves the old file whole. Where that cannot be done - the folder takes no new file, the file
// has other hard links, or its owner could not be kept - the file is rewritten in place, which keeps its
// owner, mode and links; a failure there puts the old content back, so the file is again the old one or
// the new one, whole (a process killed in the middle of a rewrite in place may leave a mix). False on
// any failure; never throws.
bool write(const QString& path, const Values& values, Encoding encoding = Encoding::Windows1252);

// The system calls of a rewrite, in order, for tests that make each one fail. A rewrite in place runs
// OpenInPlace, Write, Sync and Close.
enum class WriteStep { CreateTemp, Write, Flush, Sync, Close, Rename, OpenInPlace };
enum class StepOutcome {
    Proceed,
    Fail,    // the call fails (a failing write has written half of the data)
    Abandon, // the process dies right here: no clean-up happens
};
using StepHook = std::function<StepOutcome(WriteStep)>;

bool write(const QString& path, const Values& values, const StepHook& hook,
           Encoding encoding = Encoding::Windows1252);

} // namespace StationConfigFile
