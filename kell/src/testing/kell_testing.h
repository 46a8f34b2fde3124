/* Test-only controls of the Kell library. Not part of its interface. */
#ifndef KELL_TESTING_H
#define KELL_TESTING_H

#include <stddef.h>
#include <stdint.h>

#include "kell.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Makes every later save fail once `bytes` bytes of its temporary file have
 * been written, as a full disk or a crash would. A negative value turns the
 * fault off. */
KELL_API void kell_testing_fail_save_after(int64_t bytes);

/* Makes later saves write their file in pieces of `bytes` bytes instead of
 * the usual 1 MiB; 0 restores the usual size. */
KELL_API void kell_testing_save_chunk(size_t bytes);

#ifdef __cplusplus
}
#endif

#endif
