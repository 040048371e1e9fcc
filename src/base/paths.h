// Program directory and path joining. Windows separates with "\", POSIX
// with "/"; the program directory is everything before the last separator
// of the program's full path (empty when there is none).
#pragma once

#include <string>

#ifdef _WIN32
constexpr char PATH_SEPARATOR = '\\';
constexpr const char* PATH_SEPARATORS = "\\/";
#else
constexpr char PATH_SEPARATOR = '/';
constexpr const char* PATH_SEPARATORS = "/";
#endif

std::string DirectoryOf(const std::string& program_path);
// The directory that holds a file, as a path to open: "." when the path
// names none, the root itself for a file in the root.
std::string ContainingDirectory(const std::string& path);
// directory + separator + name. An empty directory gives the bare separator
// form, so a program without a directory still names its files the same way.
std::string JoinPath(const std::string& directory, const std::string& name);
