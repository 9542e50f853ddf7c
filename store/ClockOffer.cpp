// A clock years behind (Windows PE on a machine whose CMOS battery died)
// fails every secure link: each certificate looks not yet valid. When the
// chain is trusted and the server's own time lies inside the certificate's
// dates, the engine says how far ahead the server is; here the user is
// asked once whether to move the clock there, and the rows it failed run
// again. Forward only, so an expired certificate can never turn it back.
#include <utility>

#include "engine/Download.h"
#include "engine/ErrorTexts.h"
#include "engine/ServerClock.h"
#include "store/Lang.h"
#include "store/List.h"

void DownloadList::OfferClock() {
    const int64_t ahead = std::exchange(clockAhead_, 0);
    // Once a run: a tick inside the question's own message loop must not ask
    // again, and a clock that did not move (or the user's no) is not asked
    // about at every later failure.
    if (ahead <= 0 || clockAsked_ || !clock_.mayMove()) return;
    clockAsked_ = true;
    const int64_t now = clock_.now();
    ConfirmQuestion q;
    q.title = L"Tidewell PE";
    q.text = Tr(L"Đồng hồ của máy này chỉ ", L"This computer's clock says ") + zeb::utcDateText(now, true) +
             Tr(L", máy chủ chỉ ", L", the server says ") + zeb::utcDateText(now + ahead, true) +
             Tr(L". Đặt đồng hồ theo máy chủ?", L". Set the clock to the server's time?");
    q.confirmLabel = Tr(L"Đặt", L"Set");
    q.question = true;
    if (!window_.Confirm(q)) return;
    // The time the question stood open passed on the server too.
    const int64_t target = clock_.now() + ahead;
    if (const uint32_t error = clock_.moveTo(target)) {
        window_.ShowError(Tr(L"Không đặt được đồng hồ: ", L"The clock could not be set: ") + zeb::systemErrorText(error));
        return;
    }
    window_.SetStatus(Tr(L"Đã đặt đồng hồ theo máy chủ: ", L"The clock was set to the server's time: ") +
                      zeb::utcDateText(target, true));
    // The rows may have changed while the question was open: found again by what they say.
    for (size_t row = 0; row < entries_.size(); ++row) {
        const RowRecord& r = entries_[row].cached;
        if (r.state == DownloadState::Failed && r.clockOffer) JobFor(static_cast<int>(row))->requeue();
    }
    StartQueued();
    RefreshEntries();
}
