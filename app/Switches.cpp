#include "app/Switches.h"

#include <commctrl.h>

#include "app/Actions.h"
#include "app/MainWindow.h"
#include "store/Lang.h"
#include "ui/Buttons.h"
#include "ui/SpokenNames.h"
#include "ui/Theme.h"

void Relabel(HWND main) {
    for (const Action& a : kActions) ::SetDlgItemTextW(main, a.id, Tr(a.vi, a.en));
    ::SetDlgItemTextW(main, kDownloadButtonId, Tr(L"Tải xuống", L"Download"));
    ::SetDlgItemTextW(main, kThemeButtonId, IsDarkTheme() ? Tr(L"Tối", L"Dark") : Tr(L"Sáng", L"Light"));
    ::SetDlgItemTextW(main, kLanguageButtonId, IsVietnamese() ? L"Tiếng Việt" : L"English");
    // Shown even while the box has the focus; a screen reader names the box by it.
    const wchar_t* cue = Tr(L"Dán liên kết tải vào đây rồi nhấn Enter…", L"Paste a download link here, then press Enter…");
    ::SendDlgItemMessageW(main, kLinkBoxId, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue));
    ui::SetBoxName(::GetDlgItem(main, kLinkBoxId), cue);
}

void SwitchLanguage(MainWindow& main) {
    SetVietnamese(!IsVietnamese());
    main.SaveSettingsFile();
    Relabel(main.MainHandle());
    main.SetStatus(Tr(L"Ngôn ngữ: Tiếng Việt.", L"Language: English."));
    main.RelayoutAndRedraw();
}

void SwitchTheme(MainWindow& main) {
    SetDarkTheme(!IsDarkTheme());
    DropEditBrush();
    main.SaveSettingsFile();
    SetButtonIcon(::GetDlgItem(main.MainHandle(), kThemeButtonId), IsDarkTheme() ? 14 : 13);
    Relabel(main.MainHandle());
    ApplyDarkTitleBar(main.MainHandle());
    main.RelayoutAndRedraw();
}
