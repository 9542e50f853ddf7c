#include "store/ActiveHours.h"

#include "store/Lang.h"

namespace {
// "HH:MM" at `at`: minutes after midnight, or -1.
int ClockAt(std::wstring_view text, size_t at) {
    if (text.size() < at + 5 || text[at + 2] != L':') return -1;
    for (const size_t k : {at, at + 1, at + 3, at + 4})
        if (text[k] < L'0' || text[k] > L'9') return -1;
    const int hours = (text[at] - L'0') * 10 + (text[at + 1] - L'0');
    const int minutes = (text[at + 3] - L'0') * 10 + (text[at + 4] - L'0');
    return hours < 24 && minutes < 60 ? hours * 60 + minutes : -1;
}
}  // namespace

std::optional<int> ParseClock(std::wstring_view text) {
    const int minute = text.size() == 5 ? ClockAt(text, 0) : -1;
    if (minute < 0) return std::nullopt;
    return minute;
}

std::optional<ActiveHours> ParseActiveHours(std::wstring_view text) {
    if (text.size() != 11 || text[5] != L'-') return std::nullopt;
    const int start = ClockAt(text, 0), end = ClockAt(text, 6);
    if (start < 0 || end < 0) return std::nullopt;
    return ActiveHours{start, end};
}

std::optional<ActiveHours> ActiveHoursOf(std::wstring_view text) {
    const std::optional<ActiveHours> hours = ParseActiveHours(text);
    if (!hours || hours->start == hours->end) return std::nullopt;
    return hours;
}

std::wstring ClockText(int minute) {
    wchar_t text[8];
    swprintf(text, 8, L"%02d:%02d", minute / 60 % 24, minute % 60);
    return text;
}

std::wstring ActiveHoursText(const ActiveHours& hours) { return ClockText(hours.start) + L"-" + ClockText(hours.end); }

bool InsideHours(const ActiveHours& hours, int minute) {
    if (hours.start == hours.end) return true;
    if (hours.start < hours.end) return minute >= hours.start && minute < hours.end;
    return minute >= hours.start || minute < hours.end;  // across midnight
}

std::wstring WaitingForHoursText(std::wstring_view setting) {
    const std::optional<ActiveHours> hours = ActiveHoursOf(setting);
    if (!hours) return Tr(L"Đang chờ giờ tải", L"Waiting for active hours");
    return Tr(L"Đang chờ giờ tải (từ ", L"Waiting for active hours (from ") + ClockText(hours->start) + L")";
}

std::wstring StartAnywayQuestion(std::wstring_view setting) {
    const std::optional<ActiveHours> hours = ActiveHoursOf(setting);
    const std::wstring span = hours ? ClockText(hours->start) + L"\u2013" + ClockText(hours->end) : std::wstring();
    return Tr(L"Bây giờ ngoài giờ tải (", L"It is outside the active hours (") + span +
           Tr(L"). Vẫn bắt đầu tải ngay cho đến khi đóng chương trình?",
              L"). Start downloading anyway until the program closes?");
}

std::wstring StartAnywayLabel() { return Tr(L"Vẫn tải", L"Start anyway"); }

HoursChange HoursChangeAt(bool wasInside, bool isInside) {
    if (wasInside == isInside) return HoursChange::None;
    return isInside ? HoursChange::Began : HoursChange::Ended;
}
