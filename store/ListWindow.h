// What the download list needs from the windows. The main window implements
// it; tests implement it with scripted answers.
#pragma once

#include <cstdint>
#include <string>

namespace zeb {
class Download;
}
struct ListEntry;
struct DownloadInfo;

// What a status message reports: a screen reader says a finish or a
// failure even when other messages crowd it.
enum class StatusKind { Message, Finished, Failed };

struct ConfirmQuestion {
    std::wstring title;
    std::wstring text;
    std::wstring confirmLabel;
    bool danger = false;    // the confirm button in the danger style
    bool question = false;  // question icon; warning icon otherwise
    std::wstring otherLabel;     // the second button; "Cancel" when empty
    bool confirmFocused = false;  // the confirm button has the focus (the default answer)
};

enum class FinishedRemoval { Cancel, RemoveFromList, DeleteFile };

class ListWindow {
public:
    virtual ~ListWindow() = default;
    virtual void SetStatus(const std::wstring& text) = 0;
    virtual void SetStatusOf(StatusKind, const std::wstring& text) { SetStatus(text); }
    // A look at a row's job is about to replace `entry`'s record with
    // `next`: the screen reader's events are worked out from the two (they
    // are raised at the list's repaint that follows the look).
    virtual void RowRefreshing(int /*row*/, const ListEntry& /*entry*/, const DownloadInfo& /*next*/) {}
    virtual void ShowError(const std::wstring& text) = 0;
    virtual bool Confirm(const ConfirmQuestion& question) = 0;
    // The three-button question for a finished row; closing the dialog is Cancel.
    virtual FinishedRemoval AskFinishedRemoval(const std::wstring& text) = 0;
    virtual void ScrollIntoView(int row) = 0;
    virtual void UpdateScrollRange() = 0;
    virtual void ResetHover() = 0;
    virtual void RepaintList() = 0;
    virtual void RepaintStatus() = 0;
    virtual void RefreshDetails() = 0;
    virtual void CloseDetailsIfShowing(const zeb::Download* job) = 0;
    virtual void ShowFreeSpace(uint64_t bytes) = 0;
    virtual void Beep() = 0;
    // The list file's text is built in slices: the list's ContinueListText,
    // after the messages waiting now (none may wait for the whole text).
    virtual void ContinueListTextSoon() = 0;
};
