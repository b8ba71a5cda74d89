// Libraries the command loads at their first use rather than at its start, each kept for the
// life of the process once loaded (what they hand out may outlive any one call).
#ifndef PICTOR_TOOLS_MEDIA_LOADED_LIBRARY_H
#define PICTOR_TOOLS_MEDIA_LOADED_LIBRARY_H

#include <dlfcn.h>

#include <mutex>
#include <string>

template <typename Functions>
struct LoadedLibrary {
    Functions functions{};
    bool loaded = false;
    std::string error;
};

// `soname`, or null with the loader's reason in `error`. Its functions are bound at their first
// call: binding every one of a library and its dependencies at once costs more than a job.
inline void* OpenLibrary(const char* soname, std::string* error) {
    void* library = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        *error = std::string("cannot load ") + soname + (why ? std::string(": ") + why : "");
    }
    return library;
}

// The function `name` of `library` into `slot`; false, with `error` naming `soname`, when the
// library has no such function.
template <typename Function>
bool Resolve(void* library, const char* soname, const char* name, Function* slot,
             std::string* error) {
    *slot = reinterpret_cast<Function>(dlsym(library, name));
    if (*slot == nullptr) *error = std::string("no ") + name + " in " + soname;
    return *slot != nullptr;
}

// Binds functions of one opened library: take(name, &slot) as Resolve, false when it has none.
struct Binder {
    void* library;
    const char* soname;
    std::string* error;
    template <typename Function>
    bool operator()(const char* name, Function* slot) const {
        return Resolve(library, soname, name, slot, error);
    }
};

// `soname` opened for `lib`, whose functions bind(functions, take) then binds with a Binder;
// lib->loaded when the library opened and every function was found.
template <typename Functions, typename Bind>
void LoadOne(LoadedLibrary<Functions>* lib, const char* soname, Bind bind) {
    void* const library = OpenLibrary(soname, &lib->error);
    if (library != nullptr)
        lib->loaded = bind(lib->functions, Binder{library, soname, &lib->error});
}

// The functions `Load` fills, loaded by the first call in the process; null with the reason in
// `error` (when given) if they cannot be.
template <typename Functions, void (*Load)(LoadedLibrary<Functions>*)>
const Functions* LoadOnce(std::string* error) {
    static LoadedLibrary<Functions> library;
    static std::once_flag once;
    std::call_once(once, [] { Load(&library); });
    if (!library.loaded) {
        if (error != nullptr) *error = library.error;
        return nullptr;
    }
    return &library.functions;
}

#endif
