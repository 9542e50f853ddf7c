// The command ids of both windows, and the six sidebar actions: their
// ids, captions and icons drive creation, captions and layout alike.
#pragma once

// WM_COMMAND ids: children and keyboard commands of the main window, then
// the footer buttons of the details window. The two windows take their
// commands apart, so their numbers overlap (113 and 114 mean one thing in
// each); the values are fixed, as scripts and the shortcuts send them.
// Unscoped, as they go where Win32 wants an int.
enum CommandId : int {
    // Main window.
    kLinkBoxId = 100,
    kDownloadButtonId = 101,
    kListViewId = 102,
    kAddDownloadId = 103,  // the six sidebar actions, keys 1-6
    kResumeAllId = 104,
    kPauseAllId = 105,
    kClearFinishedId = 106,
    kOpenFolderId = 107,
    kSettingsId = 108,
    kThemeButtonId = 109,
    kLanguageButtonId = 110,
    kRemoveSelectedId = 111,      // Delete
    kToggleSelectedId = 112,      // Space in the list
    kChangeSelectedLinkId = 113,  // the Change Link form for the selected row
    // The seventh action, below the six (key 7): what to do when the queue
    // is done. Its caption names the current choice, so it is not in the table.
    kWhenDoneButtonId = 114,

    // Details window.
    kPauseButtonId = 113,
    kCopyLinkButtonId = 114,
    kChangeLinkButtonId = 115,
    kCopySha256ButtonId = 116,  // in Change Link's place, for a finished file
    kLimitSpeedButtonId = 117,  // beside the speed, while the file is not finished
};

constexpr int kWhenDoneIcon = 1;

struct Action {
    int id;
    const wchar_t* vi;
    const wchar_t* en;
    int icon;
};

inline constexpr Action kActions[] = {
    {kAddDownloadId, L"[1] Thêm liên kết tải…", L"[1] Add Download…", 4},
    {kResumeAllId, L"[2] Tiếp tục tất cả", L"[2] Resume All", 17},
    {kPauseAllId, L"[3] Tạm dừng tất cả", L"[3] Pause All", 34},
    {kClearFinishedId, L"[4] Dọn mục đã xong", L"[4] Clear Finished", 25},
    {kOpenFolderId, L"[5] Mở thư mục lưu", L"[5] Open Download Folder", 12},
    {kSettingsId, L"[6] Cài đặt", L"[6] Settings", 36},
};
