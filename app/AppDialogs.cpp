#include "app/AppDialogs.h"

#include <algorithm>

#include "app/MainWindow.h"
#include "app/ManyLinks.h"
#include "engine/Checksum.h"
#include "engine/Credentials.h"
#include "engine/Download.h"
#include "engine/StrictNumber.h"
#include "store/ActiveHours.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/List.h"
#include "store/ListFile.h"
#include "store/Text.h"
#include "ui/ControlText.h"
#include "ui/Dialog.h"

void ShowError(HWND main, const std::wstring& message) {
    ui::ShowMessageDialog(main, std::wstring(L"Tidewell PE") + Tr(L" — Lỗi", L" — Error"), message,
                          ui::MessageIcon::Error, {L"OK"}, -1, 0);
}

FinishedRemoval AskFinishedRemoval(HWND main, const std::wstring& message) {
    const int answer = ui::ShowMessageDialog(
        main, L"Tidewell PE", message, ui::MessageIcon::Question,
        {Tr(L"Xoá khỏi danh sách", L"Remove from list"), Tr(L"Xoá cả tệp", L"Delete the file too"),
         ui::CancelText()},
        1, 0);
    // Taken as unsigned: 2 and -1 (closed) alike do nothing.
    if (static_cast<unsigned>(answer) > 1) return FinishedRemoval::Cancel;
    return answer == 0 ? FinishedRemoval::RemoveFromList : FinishedRemoval::DeleteFile;
}

std::wstring ChecksumRefusal(const std::wstring& value) {
    if (value.empty() || zeb::normalChecksum(value)) return {};
    return Tr(L"Mã kiểm tra phải là 32, 40 hoặc 64 chữ số thập lục phân.", L"A checksum is 32, 40 or 64 hexadecimal digits.");
}

void ShowAddDownloadDialog(MainWindow& main) {
    ui::FormSpec form;
    form.title = Tr(L"Thêm liên kết tải", L"Add Download");
    form.intro = Tr(L"Để trống tên tệp để dùng tên do máy chủ cung cấp.",
                    L"Leave the file name empty to use the name the server gives.");
    form.okText = Tr(L"Tải xuống", L"Download");
    std::wstring link = GetWindowTextString(main.LinkBox());
    if (link.empty()) link = ClipboardLink(main.Handle());
    form.fields = {
        {ui::FieldKind::Text, Tr(L"Liên kết (http / https)", L"Link (http / https)"), link, false, true},
        {ui::FieldKind::Text, Tr(L"Lưu vào thư mục", L"Save to folder"), g_settings.folder, false, true},
        {ui::FieldKind::Text, Tr(L"Tên tệp (không bắt buộc)", L"File name (optional)"), L"", false, false},
        {ui::FieldKind::Text, Tr(L"Mã kiểm tra (SHA-256, SHA-1 hoặc MD5)", L"Checksum (SHA-256, SHA-1 or MD5)"), L"", false,
         false},
    };
    form.checked = {3};
    form.refusal = [](size_t, const std::wstring& value) { return ChecksumRefusal(value); };
    // Several links pasted into the link field are offered as a batch into
    // the folder the form names; added, they leave nothing for the form to do;
    // declined, the field pastes as ever.
    form.paste = [&main](size_t field, HWND dialog, const std::vector<std::wstring>& values) {
        if (field != 0) return ui::PasteOutcome::Paste;
        const std::vector<std::wstring> links = LinksInText(ClipboardText(dialog, kLinkTextUnits));
        const std::wstring folder = values[1].empty() ? g_settings.folder : values[1];
        return OfferManyLinks(dialog, *main.List(), main, links, folder) == LinksAnswer::Added ? ui::PasteOutcome::CloseForm
                                                                                                 : ui::PasteOutcome::Paste;
    };
    if (!ui::ShowFormDialog(main.Handle(), form)) return;
    DownloadRequest request;
    request.url = form.fields[0].value;
    request.fileName = form.fields[2].value;
    request.checksum = form.fields[3].value;
    // The folder is for this download only, not the new default.
    if (main.List()->AddDownload(request, form.fields[1].value)) ::SetWindowTextW(main.LinkBox(), L"");
}

std::wstring RetypePasswordText() {
    return Tr(L"Hãy nhập lại mật khẩu cho máy chủ mới.", L"Type the password again for the new server.");
}

void ShowChangeLinkDialog(MainWindow& main, int row) {
    DownloadList& list = *main.List();
    if (row < 0 || row >= static_cast<int>(list.Entries().size())) return;
    const std::shared_ptr<zeb::Download> job = list.JobFor(row);  // held across the form
    if (job->running()) {
        main.SetStatus(PauseBeforeNewLinkText());
        return;
    }
    ui::FormSpec form;
    form.title = Tr(L"Đổi liên kết", L"Change Link");
    form.okText = Tr(L"Đổi", L"Change");
    // The password is shown as "•••" and stands for the stored one.
    const std::wstring stored = list.Entries()[static_cast<size_t>(row)].cached.url;
    form.fields = {{ui::FieldKind::Text, Tr(L"Liên kết (http / https)", L"Link (http / https)"), zeb::maskPassword(stored),
                    false, true}};
    form.checked = {0};
    form.refusal = [&stored](size_t, const std::wstring& value) {
        return zeb::unmaskLink(value, stored).refused ? RetypePasswordText() : std::wstring();
    };
    if (!ui::ShowFormDialog(main.Handle(), form)) return;
    const std::wstring url = zeb::unmaskLink(Trim(form.fields[0].value), stored).value;
    // The list may have changed while the form was open.
    for (size_t i = 0; i < list.Entries().size(); ++i)
        if (list.Entries()[i].job == job) list.ChangeLink(static_cast<int>(i), url);
}

ui::FormSpec LimitSpeedForm(int64_t bytesPerSecond) {
    ui::FormSpec form;
    form.title = Tr(L"Giới hạn tốc độ", L"Limit Speed");
    form.okText = Tr(L"Áp dụng", L"Apply");
    form.fields = {{ui::FieldKind::Text, Tr(L"Tốc độ tối đa của mục này, KB/s (0 = không giới hạn)", L"Most speed for this download, KB/s (0 = none)"),
                    std::to_wstring(bytesPerSecond / 1024), false, true}};
    form.checked = {0};
    form.refusal = [](size_t, const std::wstring& value) {
        const std::optional<int64_t> kb = ParseStrictNumber(value);
        return kb && *kb <= kMaxRowLimitKb ? std::wstring()
                                           : Tr(L"Nhập một số KB/s, 0 là không giới hạn.", L"Type a number of KB/s; 0 means none.");
    };
    return form;
}

std::optional<int64_t> LimitFromForm(const ui::FormSpec& form) {
    const std::optional<int64_t> kb = ParseStrictNumber(form.fields.at(0).value);
    if (!kb || *kb > kMaxRowLimitKb) return std::nullopt;
    return *kb * 1024;
}

void ShowLimitSpeedDialog(MainWindow& main, const std::shared_ptr<zeb::Download>& job) {
    if (!job || !main.List()) return;
    ui::FormSpec form = LimitSpeedForm(job->snapshot(false).speedLimit);
    if (!ui::ShowFormDialog(main.Handle(), form)) return;
    if (const std::optional<int64_t> limit = LimitFromForm(form)) main.List()->SetSpeedLimit(job.get(), *limit);
}

namespace {
// The Settings form's fields, in reading (and Tab) order: the two folders
// across the form, the numbers beside the proxy, the two switches across.
// The active hours come last, a band of their own.
enum SettingsField : size_t {
    kFolder, kLabCache, kConnections, kDownloads, kSpeedLimit, kProxy, kProxyBypass, kClipboard, kCertErrors, kHoursFrom, kHoursTo
};
}  // namespace

namespace {
std::wstring ComputerTimeText() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    // Windows PE's time zone is often wrong: the user sees which clock the hours read.
    return Tr(L"Giờ của máy này: ", L"This computer's time: ") + ClockText(now.wHour * 60 + now.wMinute);
}
}  // namespace

ui::FormSpec SettingsForm(const AppSettings& s) {
    using ui::FieldKind, ui::FieldPlace;
    const std::optional<ActiveHours> hours = ParseActiveHours(s.activeHours);
    ui::FormSpec form;
    form.title = Tr(L"Cài đặt", L"Settings");
    form.okText = Tr(L"Lưu", L"Save");
    form.fields = {
        {FieldKind::Text, Tr(L"Thư mục lưu mặc định", L"Default download folder"), s.folder, false, true},
        {FieldKind::Text, Tr(L"Thư mục bộ nhớ đệm phòng máy", L"Lab cache folder"), s.labCache, false, false},
        {FieldKind::Text, Tr(L"Số kết nối mỗi tệp (1 \u2013 16)", L"Connections per file (1 \u2013 16)"),
         std::to_wstring(s.connections), false, false, FieldPlace::Left},
        {FieldKind::Text, Tr(L"Số tệp tải cùng lúc (1 \u2013 8)", L"Simultaneous downloads (1 \u2013 8)"),
         std::to_wstring(s.maxDownloads), false, false, FieldPlace::Left},
        {FieldKind::Text, Tr(L"Giới hạn tốc độ, KB/s (0 = không giới hạn)", L"Speed limit in KB/s (0 = unlimited)"),
         std::to_wstring(s.speedLimitKB), false, false, FieldPlace::Left},
        {FieldKind::Text, Tr(L"Máy chủ proxy (máy:cổng; để trống = tự động)", L"Proxy server (host:port; empty = automatic)"),
         zeb::maskProxyPassword(s.proxy), false, false, FieldPlace::Right},
        {FieldKind::Text,
         Tr(L"Không dùng proxy cho (tên máy, cách nhau bởi ;)", L"No proxy for (host names, separated by ;)"),
         s.proxyBypass, false, false, FieldPlace::Right},
        {FieldKind::Check,
         Tr(L"Tự bắt liên kết được sao chép vào bộ nhớ tạm", L"Pick up links copied to the clipboard"), L"",
         s.clipboard, false},
        {FieldKind::Check,
         Tr(L"Bỏ qua lỗi chứng chỉ HTTPS (kém an toàn \u2014 chỉ dùng với máy chủ tin cậy)",
            L"Ignore HTTPS certificate errors (unsafe \u2014 trusted servers only)"),
         L"", s.ignoreCertErrors, false},
        {FieldKind::Text, Tr(L"Chỉ tải trong khoảng (HH:MM; để trống = luôn tải)", L"Download only between (HH:MM; empty = always)"),
         hours ? ClockText(hours->start) : L"", false, false, FieldPlace::Left},
        {FieldKind::Text, Tr(L"đến (HH:MM) · ", L"and (HH:MM) · ") + ComputerTimeText(), hours ? ClockText(hours->end) : L"",
         false, false, FieldPlace::Right},
    };
    form.checked = {kProxy, kHoursFrom, kHoursTo};
    const std::wstring stored = s.proxy;
    form.refusal = [stored](size_t field, const std::wstring& value) -> std::wstring {
        if (field == kHoursFrom || field == kHoursTo)
            return value.empty() || ParseClock(value) ? std::wstring()
                                                      : Tr(L"Viết giờ dạng HH:MM, ví dụ 22:00.", L"Write the time as HH:MM, for example 22:00.");
        return zeb::unmaskProxy(value, stored).refused ? RetypePasswordText() : std::wstring();
    };
    return form;
}

AppSettings SettingsFromForm(const ui::FormSpec& form, const AppSettings& before) {
    const auto value = [&form](SettingsField f) -> const std::wstring& { return form.fields[f].value; };
    AppSettings s = before;
    s.folder = value(kFolder);
    while (s.folder.size() >= 4 && (s.folder.back() == L'\\' || s.folder.back() == L'/')) s.folder.pop_back();
    s.labCache = Trim(value(kLabCache));  // empty: no cache
    s.connections = std::clamp<int32_t>(LenientNumber(value(kConnections)), 1, 16);
    s.maxDownloads = std::clamp<int32_t>(LenientNumber(value(kDownloads)), 1, 8);
    s.speedLimitKB = std::max<int32_t>(0, LenientNumber(value(kSpeedLimit)));
    s.clipboard = form.fields[kClipboard].ticked;
    s.ignoreCertErrors = form.fields[kCertErrors].ticked;
    s.proxy = zeb::unmaskProxy(Trim(value(kProxy)), before.proxy).value;
    s.proxyBypass = Trim(value(kProxyBypass));
    // Both times, or none: the hours off.
    s.activeHours = value(kHoursFrom).empty() || value(kHoursTo).empty() ? L"" : value(kHoursFrom) + L"-" + value(kHoursTo);
    return s;
}

void ShowSettingsDialog(MainWindow& main) {
    ui::FormSpec form = SettingsForm(g_settings);
    if (!ui::ShowFormDialog(main.Handle(), form)) return;
    g_settings = SettingsFromForm(form, g_settings);
    // The speed limit in 64 bits (the field reads up to 2,147,483,647
    // KiB/s); the proxy for every job started from now on.
    ApplySettingsToEngine(g_settings);
    main.SyncClipboardListener();
    main.SaveSettingsFile();
    main.List()->PollFreeSpaceNow();
    main.InvalidateFreeSpace();
    if (CreateFolderTree(g_settings.folder))
        main.SetStatus(Tr(L"Đã lưu cài đặt. Thay đổi về kết nối áp dụng cho các mục bắt đầu tải từ bây giờ.",
                          L"Settings saved. Connection changes apply to downloads started from now on."));
    else
        ShowError(main.Handle(), Tr(L"Không tạo được thư mục này:\n\n", L"This folder could not be created:\n\n") +
                                     g_settings.folder);
}
