// Built into a copy of the translator module for the batch tests: the
// library's save is wrapped so that a file whose name holds "crash" is saved
// and then the process aborts, as a crash mid-write would (the temporary
// file is left behind), and one whose name holds "loud" first floods stderr.
// The rest save as usual.
#include <kell.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

extern "C" KL_BOOL anm_animation_save_as_f(ANM_ANIMATION_HANDLE animation, const FM_FILE_IDENTIFIER_TYPE* identifier,
                                           int32_t flags, void* reserved) {
    using Save = KL_BOOL (*)(ANM_ANIMATION_HANDLE, const FM_FILE_IDENTIFIER_TYPE*, int32_t, void*);
    // This definition is local to the module, so the global one is the library's.
    static const Save real = reinterpret_cast<Save>(::dlsym(RTLD_DEFAULT, "anm_animation_save_as_f"));
    if (!real) std::abort();
    const char* name = std::strrchr(identifier->path, '/');
    name = name ? name + 1 : identifier->path;
    if (std::strstr(name, "loud")) {
        const std::string line(1023, 'x');
        for (int i = 0; i < 1024; ++i) {
            if (::write(STDERR_FILENO, line.data(), line.size()) < 0 || ::write(STDERR_FILENO, "\n", 1) < 0) break;
        }
    }
    const KL_BOOL saved = real(animation, identifier, flags, reserved);
    if (std::strstr(name, "crash")) std::abort();
    return saved;
}
