// The main window's children by id and the six sidebar actions: their
// ids, captions and icons drive creation, captions and layout alike.
#pragma once

constexpr int kLinkBoxId = 100, kDownloadButtonId = 101, kListViewId = 102;
constexpr int kThemeButtonId = 109, kLanguageButtonId = 110;
// The seventh action, below the six: what to do when the queue is done.
// Its caption names the current choice, so it is not in the table.
constexpr int kWhenDoneButtonId = 114, kWhenDoneIcon = 1;

struct Action {
    int id;
    const wchar_t* vi;
    const wchar_t* en;
    int icon;
};

inline constexpr Action kActions[] = {
    {103, L"[1] Thêm liên kết tải…", L"[1] Add Download…", 4},   {104, L"[2] Tiếp tục tất cả", L"[2] Resume All", 17},
    {105, L"[3] Tạm dừng tất cả", L"[3] Pause All", 34},          {106, L"[4] Dọn mục đã xong", L"[4] Clear Finished", 25},
    {107, L"[5] Mở thư mục lưu", L"[5] Open Download Folder", 12}, {108, L"[6] Cài đặt", L"[6] Settings", 36},
};
