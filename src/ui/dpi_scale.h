// Pixel sizes on screens of any density. The window's sizes are drawn for
// 96 dots per inch (100 %); a window on a denser screen (144 at 150 %) takes
// each size times dpi / 96, rounded to the nearest pixel, as the system
// scales the dialogs' own units.
#pragma once

constexpr int BASE_DPI = 96;

constexpr int ScaleToDpi(int pixels, int dpi) {
    const long long scaled = static_cast<long long>(pixels) * (dpi > 0 ? dpi : BASE_DPI);
    return static_cast<int>(scaled >= 0 ? (scaled + BASE_DPI / 2) / BASE_DPI : -((-scaled + BASE_DPI / 2) / BASE_DPI));
}
