#include "file_commit.h"

#include <windows.h>

#include <string>

bool ReadWholeFile(const std::string& path, std::string& contents, bool& exists, long* error) {
    contents.clear();
    exists = false;
    if (error) *error = 0;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        if (error) *error = static_cast<long>(code);
        return false;
    }
    exists = true;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            if (error) *error = static_cast<long>(GetLastError());
            ok = false;
            break;
        }
        if (n == 0) break;
        contents.append(buffer, n);
    }
    CloseHandle(file);
    return ok;
}

bool CommitFile(const std::string& path, const std::string& contents, long* error) {
    if (error) *error = 0;
    std::string temporary = path + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) *error = static_cast<long>(GetLastError());
        return false;
    }
    bool written = true;
    size_t done = 0;
    while (written && done < contents.size()) {
        DWORD chunk = static_cast<DWORD>(contents.size() - done > 0x40000000 ? 0x40000000 : contents.size() - done);
        DWORD n = 0;
        written = WriteFile(file, contents.data() + done, chunk, &n, nullptr) && n == chunk;
        done += n;
    }
    if (written) written = FlushFileBuffers(file) != 0;
    DWORD code = written ? 0 : GetLastError();
    CloseHandle(file);
    if (written &&
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        code = GetLastError();
    }
    if (!written) {
        if (error) *error = static_cast<long>(code);
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

bool ReadProgramFile(const std::string& path, std::string& contents, bool& exists, long* error) {
    return ReadWholeFile(path, contents, exists, error);
}
