#include "ui/dpi_win32.h"

namespace {

// Both calls arrived with Windows 10 (1607); the program also runs on
// systems without them, so they are looked up, not linked.
template <typename Call>
Call User32Call(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 ? reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);

}  // namespace

int WindowDpi(HWND window) {
    static const auto forWindow = User32Call<GetDpiForWindowCall>("GetDpiForWindow");
    if (forWindow && window) {
        if (const UINT dpi = forWindow(window)) return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : BASE_DPI;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : BASE_DPI;
}

int ScaledMetric(HWND window, int index) {
    static const auto forDpi = User32Call<GetSystemMetricsForDpiCall>("GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, static_cast<UINT>(WindowDpi(window)));
    return GetSystemMetrics(index);  // the system's density, for which this process is aware
}

HIMAGELIST LoadScaledImageList(UINT bitmapId, int imageWidth, COLORREF mask, int grow, int dpi) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    HBITMAP original = static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0, 0));
    if (!original) return nullptr;
    BITMAP size = {};
    GetObjectA(original, sizeof size, &size);
    DeleteObject(original);
    // Stretched by the loader, pixel for pixel: the mask colour stays exact.
    HBITMAP scaled = static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP,
                                                     ScaleToDpi(size.bmWidth, dpi), ScaleToDpi(size.bmHeight, dpi), 0));
    if (!scaled) return nullptr;
    const int width = ScaleToDpi(imageWidth, dpi);
    const int images = size.bmWidth / imageWidth;
    HIMAGELIST list =
        ImageList_Create(width, ScaleToDpi(size.bmHeight, dpi), ILC_COLOR24 | ILC_MASK, images > 0 ? images : 1, grow);
    if (list) ImageList_AddMasked(list, scaled, mask);
    DeleteObject(scaled);
    return list;
}
