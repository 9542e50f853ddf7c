#include "app/StartUp.h"

#include <algorithm>

#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"

std::unique_ptr<MainWindow> OpenMainWindow(HINSTANCE instance, const std::wstring& dataFolder, int show,
                                           const std::vector<DownloadRequest>& links) {
    if (HDC screen = ::GetDC(nullptr)) {
        SetCurrentDpi(::GetDeviceCaps(screen, LOGPIXELSX));
        ::ReleaseDC(nullptr, screen);
    }
    BuildFonts();
    SetHighContrast(SystemHighContrast());
    static const bool registered = MainWindow::RegisterClasses(instance);
    if (!registered) return nullptr;
    RECT work{0, 0, 1024, 768};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workW = work.right - work.left, workH = work.bottom - work.top;
    const int width = std::min<int>(workW, Scale(1100));
    const int height = std::min<int>(workH, Scale(720));
    RECT place{work.left + (workW - width) / 2, work.top + (workH - height) / 2, 0, 0};
    place.right = place.left + width;
    place.bottom = place.top + height;
    auto main = std::make_unique<MainWindow>(dataFolder);
    if (!main->Create(instance, place)) return nullptr;
    ::ShowWindow(main->Handle(), show);
    ::UpdateWindow(main->Handle());
    ::SetFocus(main->LinkBox());
    main->List()->QueueTick();
    main->List()->AddRequests(links);
    return main;
}
