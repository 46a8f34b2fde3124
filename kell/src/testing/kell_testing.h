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

/* At the Nth value read (orientation or root value) from an animation opened
 * from a file, cuts that file to a third of its size, as another program
 * might while it is open. 0 turns it off. The environment variable
 * KELL_TESTING_CUT_AT_READ sets the same for a process a test starts. */
KELL_API void kell_testing_cut_file_at_read(int64_t reads);

#ifdef __cplusplus
}
#endif

#endif
