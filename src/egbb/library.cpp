#include "egbb/library.h"

#include <dlfcn.h>

void* OpenLibrary(const char* path, const char** error) {
    // Local symbols: the plug-in's names must never resolve anything else in the process.
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library && error) {
        const char* reason = dlerror();
        *error = reason ? reason : "unknown error";
    }
    return library;
}

void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }

void CloseLibrary(void* library) {
    if (library) dlclose(library);
}
