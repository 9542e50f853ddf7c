#include "app/Announcer.h"

#include <oleacc.h>

LONG Announcer::AccessibleRole() const { return ROLE_SYSTEM_ALERT; }

void Announcer::Announce(HWND main, StatusKind kind, const std::wstring& text) {
    const uint64_t now = ::GetTickCount64();
    const Announcement a = AnnouncementFor(kind, text, last_, now);
    if (!a.speak || !main) return;
    main_ = main;
    // UI Automation is loaded only for a screen reader (one that runs, or a
    // client that asked us something): a window nobody listens to stays light.
    BOOL reader = FALSE;
    ::SystemParametersInfoW(SPI_GETSCREENREADER, 0, &reader, 0);
    if ((reader || modules_.Asked()) && modules_.Notify(main, a.kind, a.important, text, L"TidewellPE.Status")) return;
    ::NotifyWinEvent(EVENT_SYSTEM_ALERT, main, kAnnouncementObjectId, CHILDID_SELF);
}
