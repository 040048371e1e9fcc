#include <windows.h>

#include "ui/user_locale.h"

int CompareTextNoCase(const char* a, const char* b) { return lstrcmpiA(a, b); }

std::string LocalDateTimeText(uint64_t fileTime) {
    FILETIME utc = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) return "";
    char date[50] = {};
    char time[50] = {};
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &parts, nullptr, date, sizeof date);
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &parts, nullptr, time, sizeof time);
    return std::string(date) + " " + time;
}
