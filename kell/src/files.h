// Reading and saving whole files for the C interface. Failures leave their
// reason with setError.
#ifndef KELL_FILES_H
#define KELL_FILES_H

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "format.h"

namespace kell::api {

// Bytes after which saves fail as if the disk were full; -1 for never.
extern int64_t gFailSaveAfter;
// The size of the pieces a save writes (tests make it small).
extern size_t gSaveChunk;
// Whether a save syncs the file and its folder (kell_save_sync_set).
extern bool gSaveSync;
// Whether a save writes its target itself (kell_save_in_place_set).
extern bool gSaveInPlace;

// Has produce write the file into a temporary file beside path, then syncs it
// (unless gSaveSync is off) and renames it over path. Nothing at path changes when either fails.
// With gSaveInPlace, path itself is written instead.
bool saveAtomically(const char *path, const std::function<bool(ByteSink &)> &produce);
// Reads up to `size` bytes; fewer only at the end of the file or on an error.
size_t readUpTo(int fd, uint8_t *buffer, size_t size, bool &failed);
// Opens a regular file for reading, without blocking; -1 when it cannot.
int openRegular(const char *path, struct stat &st);
// The whole animation file at path, mapped or read.
bool readFile(const char *path, FileImage &image);

}  // namespace kell::api

#endif
