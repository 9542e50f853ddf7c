// The main window's layout pass as a plain function: every rectangle in
// client pixels at the current DPI, from the client size and the few text
// measures it depends on.
#pragma once

#include <windows.h>

struct MainLayout {
    RECT logo, title, badge, subtitle, infoBox, heading;
    bool hasBadge = false;
    RECT actions[7];  // the six of the table, then When done
    RECT themeButton, languageButton;
    RECT topBar, downloadButton, linkFrame, linkBox, status, list;
};

struct LayoutMeasures {
    int titleWidth;        // the product title in font 8
    int downloadPreferred; // the Download button's preferred width (80 without a record)
    int linkBoxTextHeight; // text height of font 4
};

MainLayout ComputeMainLayout(int width, int height, const LayoutMeasures& m);
// Sidebar width in device pixels.
int SidebarWidth();
