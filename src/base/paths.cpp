#include "paths.h"

std::string DirectoryOf(const std::string& program_path) {
    size_t separator = program_path.find_last_of(PATH_SEPARATORS);
    if (separator == std::string::npos) return "";
    return program_path.substr(0, separator);
}

std::string ContainingDirectory(const std::string& path) {
    size_t separator = path.find_last_of(PATH_SEPARATORS);
    if (separator == std::string::npos) return ".";
    return separator == 0 ? path.substr(0, 1) : path.substr(0, separator);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    return directory + PATH_SEPARATOR + name;
}
