#include "file_commit.h"

#include <windows.h>

#include <string>

bool ReadWholeFile(const std::string& path, std::string& contents, bool& exists) {
    contents.clear();
    exists = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    exists = true;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            ok = false;
            break;
        }
        if (n == 0) break;
        contents.append(buffer, n);
    }
    CloseHandle(file);
    return ok;
}

bool CommitFile(const std::string& path, const std::string& contents) {
    std::string temporary = path + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = true;
    size_t done = 0;
    while (written && done < contents.size()) {
        DWORD chunk = static_cast<DWORD>(contents.size() - done > 0x40000000 ? 0x40000000 : contents.size() - done);
        DWORD n = 0;
        written = WriteFile(file, contents.data() + done, chunk, &n, nullptr) && n == chunk;
        done += n;
    }
    if (written) written = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    if (!written ||
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}
