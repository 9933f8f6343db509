// Dynamic loading of the bitbase plug-in behind plain functions, so that the loader itself never
// touches the operating system.
#pragma once

// The opened library, or nullptr; on failure *error (when given) describes why.
void* OpenLibrary(const char* path, const char** error);
// The address of an exported name, or nullptr when the library has none.
void* FindSymbol(void* library, const char* name);
void CloseLibrary(void* library);
