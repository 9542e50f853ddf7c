#include "app/MainLayout.h"

#include <algorithm>

#include "ui/Dpi.h"

namespace {
constexpr int kSidebar = 272, kMargin = 16;
}

int SidebarWidth() { return Scale(kSidebar); }

// Each design length is scaled on its own, then the results are added.
MainLayout ComputeMainLayout(int W, int H, const LayoutMeasures& m) {
    MainLayout l{};
    const int S = Scale(kSidebar), M = Scale(kMargin);
    l.logo = RECT{M, Scale(16), M + Scale(38), Scale(54)};
    l.title.left = M + Scale(48);
    l.title.top = Scale(14);
    l.title.bottom = Scale(37);
    l.title.right = std::min<LONG>(S - Scale(8), l.title.left + m.titleWidth);
    l.hasBadge = l.title.right + Scale(6) + Scale(24) <= S - Scale(6);
    if (l.hasBadge) l.badge = RECT{l.title.right + Scale(6), Scale(18), l.title.right + Scale(30), Scale(34)};
    l.subtitle = RECT{M + Scale(48), Scale(37), S - M, Scale(54)};
    l.infoBox = RECT{M, Scale(68), S - M, Scale(68) + Scale(20) + 4 * Scale(19)};
    l.heading = RECT{M, l.infoBox.bottom + Scale(14), S - M, l.infoBox.bottom + Scale(30)};
    int y = l.heading.bottom + Scale(6);
    for (RECT& a : l.actions) {
        a = RECT{M, y, S - M, y + Scale(34)};
        y += Scale(40);
    }
    const LONG lastBottom = l.actions[6].bottom;
    const int by = std::max<LONG>(lastBottom + Scale(6), H - M - Scale(34));
    const int half = (S - 2 * M - Scale(8)) / 2;
    l.themeButton = RECT{M, by, M + half, by + Scale(34)};
    l.languageButton = RECT{M + half + Scale(8), by, S - M, by + Scale(34)};
    l.topBar = RECT{S, 0, W, Scale(66)};
    const int dw = std::max(Scale(128), m.downloadPreferred + Scale(12));
    l.downloadButton = RECT{W - dw - M, Scale(15), W - M, Scale(15) + Scale(36)};
    l.linkFrame = RECT{S + M, Scale(15), W - dw - M - Scale(8), Scale(51)};
    const int h = m.linkBoxTextHeight;
    const int ly = Scale(15) + (Scale(36) - h) / 2;
    const int lx = l.linkFrame.left + Scale(38);
    l.linkBox = RECT{lx, ly, lx + std::max<LONG>(0, (l.linkFrame.right - l.linkFrame.left) - Scale(48)), ly + h};
    l.status = RECT{S, H - Scale(32), W, H};
    l.list = RECT{S, Scale(66), S + std::max(0, W - S), Scale(66) + std::max(0, H - Scale(32) - Scale(66))};
    return l;
}
