#include <strings.h>

#include <ctime>

#include "base/clock.h"
#include "ui/user_locale.h"

int CompareTextNoCase(const char* a, const char* b) { return strcasecmp(a, b); }

std::string LocalDateTimeText(uint64_t fileTime) {
    const time_t seconds = static_cast<time_t>(fileTime / FILETIME_TICKS_PER_SECOND) -
                           static_cast<time_t>(FILETIME_UNIX_EPOCH_SECONDS);
    struct tm local = {};
    if (!localtime_r(&seconds, &local)) return "";
    char date[50] = {};
    char time[50] = {};
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return std::string(date) + " " + time;
}
