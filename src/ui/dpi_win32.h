// The density of the screen a window is on, and what the properties window
// draws itself scaled to it: system metrics and the bitmaps of its image
// lists. The program declares itself aware of each monitor's density, so
// the system stretches none of its windows: every pixel size is scaled here
// (ScaleToDpi), while the dialogs' own units scale with their font.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "ui/dpi_scale.h"

// The window's dots per inch (96 at 100 %): its monitor's on Windows 10 and
// later, else the screen's.
int WindowDpi(HWND window);

// A system metric (SM_CXVSCROLL...) for the window's density.
int ScaledMetric(HWND window, int index);

// An image list of the bitmap resource cut into images `imageWidth` pixels
// wide (at 96 dpi) and as high as the bitmap, stretched to `dpi`; pixels of
// colour `mask` are transparent. Null when the bitmap is missing.
HIMAGELIST LoadScaledImageList(UINT bitmapId, int imageWidth, COLORREF mask, int grow, int dpi);
