// What the lists and the lease details take from the user's locale: the
// order of texts and the form of a date and time. On Windows these are the
// system's (lstrcmpiA; the user's short date and time format); elsewhere,
// where only the tests run them, plain ASCII order and "%Y-%m-%d %H:%M:%S".
#pragma once

#include <cstdint>
#include <string>

// Negative, 0 or positive, without regard to case.
int CompareTextNoCase(const char* a, const char* b);

// A time of the FILETIME scale (UTC) as the local date, a blank and the
// local time, each part at most 49 characters.
std::string LocalDateTimeText(uint64_t fileTime);
