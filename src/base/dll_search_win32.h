// Libraries that a program loads itself come from the system folder only,
// never from its own folder or the current one. Called first thing by each
// program. Imports of the program file are not covered: those the loader
// finds before any code runs, so only the folder's access keeps a planted
// one out.
#pragma once

#include <windows.h>

inline void LoadLibrariesFromSystemFolderOnly() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    // Looked up, not imported: systems without it still start the program.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto call = kernel ? reinterpret_cast<SetDirectories>(
                             reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                       : nullptr;
    if (call) call(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
