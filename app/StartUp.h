// The start of the GUI after the single-instance check, the settings and
// the host registration: screen DPI and fonts, the window classes (once
// per process), the main window centred on the work area, shown, the
// first queue tick and the start-up links. The program and the window
// tests both open the window this way.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"

std::unique_ptr<MainWindow> OpenMainWindow(HINSTANCE instance, const std::wstring& dataFolder, int show,
                                           const std::vector<DownloadRequest>& links);
