// Tab and Ctrl+Tab across the nested dialogs of the properties window. The
// pages are child dialogs of the frame, so the frame's dialog loop alone
// would keep Tab inside one of them and know nothing of Ctrl+Tab. Every
// window of the frame gets a keyboard procedure in front of its own:
// - Tab / Shift+Tab asks the window's parent dialog for the next / previous
//   control (WM_NEXTDLGCTL);
// - Ctrl+Tab / Ctrl+Shift+Tab on the page or one of its controls asks the
//   frame for the next / previous tab (MSG_CYCLE_TAB); on the frame's own
//   buttons and tabs it does nothing.
// At most MAX_SUBCLASSED windows are taken; a page holds far fewer.
#pragma once

#include <windows.h>

constexpr int MAX_SUBCLASSED = 201;

// Takes every descendant window of the frame (its controls, the page and
// the page's controls) except RichEdit controls, after forgetting the
// windows taken before.
void SubclassFrameWindows(HWND frame, HWND page);

// Puts the previous procedure back on every window taken, before the page
// or the frame is destroyed.
void RestoreFrameWindows();
