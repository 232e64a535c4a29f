#pragma once

#include <QString>

// What a power cut may not undo or leave half done: the few file operations the configuration rewrite
// and the journal rely on, one form per system (DurableFilePosix.cpp, DurableFileWin.cpp). Paths are
// Qt paths ("/" separators); a descriptor is the C library's, as QFileDevice::handle() gives it.
namespace DurableFile {

// Makes what was written through fd reach the disk, the file's size included. False when the system
// says it could not.
bool flushToDisk(int fd);

// Gives the file open on fd, a replacement written beside target, the permissions and owner of target
// where the system keeps them with the file. False when that cannot be done; target must then not be
// replaced by it.
bool takeOverAccess(int fd, const QString& target);

// True when target has more names than this one (hard links): replacing it would leave those with the
// old content.
bool hasOtherNames(const QString& target);

// Puts replacement, a closed file beside target already flushed to disk, in place of target in one
// step and makes that step durable. A reader sees the old target or the new one, never a mix. On
// false, replacement is still there to be removed - unless target no longer exists, when it is the
// only copy of the content left.
bool replace(const QString& replacement, const QString& target);

} // namespace DurableFile
