/* Test-only controls of the Kell library. Not part of its interface. */
#ifndef KELL_TESTING_H
#define KELL_TESTING_H

#include <stdint.h>

#include "kell.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Makes every later save fail once `bytes` bytes of its temporary file have
 * been written, as a full disk or a crash would. A negative value turns the
 * fault off. */
KELL_API void kell_testing_fail_save_after(int64_t bytes);

#ifdef __cplusplus
}
#endif

#endif
