// Message boxes, and what stands in for them where no one can answer: a
// server in the services' session, or one started by the service wrapper,
// has no user at its screen. There each box becomes one line of the main log
// at level 0, and the program goes on as the answer that changes nothing
// would have it.
#pragma once

#include <string>

// Set once at start-up, before the first box can show.
void SetUnattended(bool unattended);
bool Unattended();

// The answer a box of this button set (the platform's MB_OK to
// MB_CANCELTRYCONTINUE, numbered as it numbers them) gets when no one can
// answer: Cancel where the box has one, No for Yes/No, Ignore for
// Abort/Retry/Ignore, else OK (answers numbered as IDOK to IDCONTINUE).
int UnattendedAnswer(unsigned buttons);

// The log line written instead of a box: "Message - CAPTION: TEXT", the
// text's line ends as blanks.
void LogInsteadOfBox(const std::string& caption, const std::string& text);
