// Whole-file replacement that survives crashes: readers (and the next start of the
// service) see either the old contents or the new ones, never a truncated mixture. Used for
// the small settings and account files that are rewritten in one piece.
#ifndef KEL_SHAREDLIB_ATOMIC_FILE_H
#define KEL_SHAREDLIB_ATOMIC_FILE_H

#include <sys/types.h>

#include <cstddef>

// Replaces the contents of `path` with the `size` bytes at `data`.
//
// Writes a uniquely named temporary file in the same folder, flushes it to the disk, renames
// it over `path` and then flushes the folder. An existing file keeps its permission bits
// (and, when the caller may set them, its owner); a new file is created with `newFileMode`
// less the umask. When `path` is a symbolic link the file it points to is replaced and the
// link stays.
//
// Returns true once the rename has happened. On any failure before that it removes the
// temporary file, leaves `path` exactly as it was and returns false with errno describing
// the first failure. Prints nothing: callers report failures in their own words.
// Safe to call from several threads; concurrent writers of one path each install a
// complete file and the last rename wins.
//
// kRenameOnly skips both flushes: other processes still never see a partial file, but a
// power cut may lose the change. For files whose owner rebuilds or rewrites them anyway and
// that are replaced at a high rate, where two flushes per write cost milliseconds each.
enum class KelReplaceDurability { kFlushed, kRenameOnly };
bool KelReplaceFile(const char* path, const void* data, std::size_t size,
                    mode_t newFileMode = 0666,
                    KelReplaceDurability durability = KelReplaceDurability::kFlushed);

#endif
