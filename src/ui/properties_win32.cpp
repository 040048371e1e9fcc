// Placeholder until the properties dialog exists: the Properties command
// opens nothing, the help file opens through the shell.
#include <windows.h>
#include <shellapi.h>

#include "properties.h"

namespace {
std::string helpFilePath;
}

void ShowPropertiesDialog() {}

HWND ActiveLeasesPage() { return nullptr; }

void SetHelpFilePath(const std::string& path) { helpFilePath = path; }

void OpenHelp(HWND owner) { ShellExecuteA(owner, "open", helpFilePath.c_str(), nullptr, ".", SW_SHOW); }
