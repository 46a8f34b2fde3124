// Reading and saving whole files for the C interface. Failures leave their
// reason with setError.
#ifndef KELL_FILES_H
#define KELL_FILES_H

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model.h"

namespace kell::api {

// Bytes after which saves fail as if the disk were full; -1 for never.
extern int64_t gFailSaveAfter;

// Writes bytes to a temporary file beside path, synced, then renamed over it.
bool saveAtomically(const char *path, const std::vector<uint8_t> &bytes);
// Reads up to `size` bytes; fewer only at the end of the file or on an error.
size_t readUpTo(int fd, uint8_t *buffer, size_t size, bool &failed);
// Opens a regular file for reading, without blocking; -1 when it cannot.
int openRegular(const char *path, struct stat &st);
// The whole animation file at path, mapped or read.
bool readFile(const char *path, FileImage &image);

}  // namespace kell::api

#endif
