#include "shell/kea_export_win32.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/message_box_win32.h"
#include "base/paths.h"
#include "config/file_commit.h"
#include "export/kea_export_command.h"
#include "shell/resource.h"
#include "ui/show_message_win32.h"

namespace {

// Kea runs on another system; the configuration names the lease file where
// the Debian and Ubuntu packages keep it, and the summary says so.
constexpr const char* KEA_LEASE_PATH = "/var/lib/kea/kea-leases4.csv";
constexpr const char* SUMMARY_FILE = "export.txt";
// A message box taller than the screen hides its button: longer summaries
// are cut there (export.txt has them whole).
constexpr int BOX_LINES = 30;

std::string Formatted(UINT formatId, const std::string& first, const std::string& second = "") {
    const std::string format = LoadResourceString(formatId, MESSAGE_TEXT_LIMIT);
    std::vector<char> text(format.size() + first.size() + second.size() + 64);
    std::snprintf(text.data(), text.size(), format.c_str(), first.c_str(), second.c_str());
    return text.data();
}

void Show(const std::string& text, UINT style) {
    ShowMessageBox(nullptr, text, LoadResourceString(IDS_EXPORT_CAPTION, MESSAGE_TEXT_LIMIT), style);
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string FirstLines(const std::string& text) {
    size_t at = 0;
    for (int line = 0; line < BOX_LINES && at != std::string::npos; ++line) {
        at = text.find('\n', at);
        if (at != std::string::npos) ++at;
    }
    if (at == std::string::npos || at >= text.size()) return text;
    int more = 0;
    for (size_t i = at; i < text.size(); ++i) more += text[i] == '\n';
    return text.substr(0, at) + Formatted(IDS_EXPORT_MORE, std::to_string(more));
}

}  // namespace

bool RunKeaExportCommand(const std::string& programDirectory, const std::string& commandLine, int* exitCode) {
    std::string directory;
    switch (ParseExportCommandLine(commandLine, &directory)) {
        case ExportCommandLine::None: return false;
        case ExportCommandLine::Bad:
            Show(LoadResourceString(IDS_EXPORT_USAGE, MESSAGE_TEXT_LIMIT), MB_ICONINFORMATION);
            *exitCode = EXPORT_BAD_ARGUMENT;
            return true;
        case ExportCommandLine::Export: break;
    }
    const KeaExportOutcome outcome = ExportToKea(JoinPath(programDirectory, "NIMBO.INI"), directory, KEA_LEASE_PATH);
    *exitCode = outcome.exitCode;
    if (outcome.exitCode != EXPORT_OK) {
        Show(Formatted(IDS_EXPORT_FAILED, outcome.error), MB_ICONWARNING);
        return true;
    }
    const std::string summaryPath = JoinPath(directory, SUMMARY_FILE);
    long error = 0;
    std::string text =
        CommitFile(summaryPath, WithCrLf(outcome.summary), &error)
            ? Formatted(IDS_EXPORT_DONE, summaryPath, FirstLines(outcome.summary))
            : Formatted(IDS_EXPORT_NO_SUMMARY_FILE, summaryPath + " (error " + std::to_string(error) + ")",
                        FirstLines(outcome.summary));
    Show(text, MB_ICONINFORMATION);
    return true;
}
