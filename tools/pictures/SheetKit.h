// What the picture programs share: a button painted into a picture as its
// parent would paint it, and the picture written as a 32-bit BMP.
#pragma once

#include <windows.h>

#include <cstdio>

#include "ui/Buttons.h"
#include "ui/Surface.h"

// One button painted from a made-up DRAWITEMSTRUCT at (x, y) of `sheet`.
inline void PaintButtonAt(Surface& sheet, HWND button, UINT itemState, int x, int y, int w, int h) {
    Surface s = SurfaceCreate(w, h);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.itemState = itemState;
    item.hwndItem = button;
    item.hDC = s.dc();
    item.rcItem = RECT{0, 0, w, h};
    LRESULT result = 0;
    HandleOwnerDraw(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item), result);
    GdiFlush();
    for (int r = 0; r < h && y + r < sheet.height(); ++r)
        for (int c = 0; c < w && x + c < sheet.width(); ++c)
            sheet.pixels()[static_cast<size_t>(y + r) * sheet.width() + x + c] = s.at(c, r);
}

inline bool WriteBmp(const wchar_t* path, const Surface& s) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info = TopDownBitmapInfo(s.width(), s.height()).bmiHeader;
    const DWORD bytes = static_cast<DWORD>(s.width()) * s.height() * 4;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + bytes;
    FILE* f = _wfopen(path, L"wb");
    if (!f) return false;
    fwrite(&file, sizeof file, 1, f);
    fwrite(&info, sizeof info, 1, f);
    fwrite(s.pixels(), 1, bytes, f);
    return fclose(f) == 0;
}
