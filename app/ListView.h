// The download list view ("TidewellPE.List", id 102): every row of the
// list as a card with badge, name, detail line, progress and four row
// buttons. It keeps only selection moves, hover, press and scroll state;
// the rows are the list's cached snapshots, read at every paint. It answers
// a screen reader for its rows too (ListAccessible, ListEvents). UI thread.
#pragma once

#include <windows.h>

#include <string>

#include "app/ListAccessible.h"
#include "app/ListEvents.h"
#include "app/ListGeometry.h"
#include "ui/ScrollBar.h"

class DownloadList;
struct ListEntry;
class MainWindow;
class Surface;
struct DownloadInfo;

// One row's card in `r`: badge, name, detail line, progress and the row
// buttons; `hotButton` is the one under the mouse and `pressedButton` the
// one held down (-1: none).
void PaintRowCard(Surface& surface, const DownloadInfo& info, const RECT& r, bool selected, bool hovered, int hotButton,
                  int pressedButton);

class ListView : public AccessibleSource {
public:
    static bool RegisterWindowClass(HINSTANCE instance);
    HWND Create(HWND parent, int id, MainWindow& main);
    HWND Handle() const { return window_; }

    // Content and page from the row count and client height; position clamped.
    void UpdateScrollRange();
    void EnsureVisible(int index);
    void MoveSelection(int delta, bool absolute);
    // A row was erased: hover and press no longer name the same rows.
    void ResetHover();
    void Repaint();

    const ScrollBarState& Scroll() const { return scroll_; }
    RowHit Hover() const { return hover_; }
    RowHit Pressed() const { return pressed_; }
    // Entry actions 0-3 on a row (the row buttons; Space and Enter use 0, 1).
    void RunAction(int row, int action);

    // A look at a row's job (see ListWindow::RowRefreshing) and the repaint after it.
    void RowRefreshing(int row, const ListEntry& entry, const DownloadInfo& next);
    void RaiseRowEvents() { events_.Flush(window_); }

    // AccessibleSource: the rows as the cards show them.
    HWND AccessibleWindow() const override { return window_; }
    LONG AccessibleRole() const override;
    std::wstring AccessibleName() const override;
    int RowCount() const override { return Count(); }
    std::wstring RowName(int row) const override;
    std::wstring RowValue(int row) const override;
    int SelectedRow() const override;
    bool RowPlace(int row, RECT& r) const override;
    int RowAt(POINT p) const override { return HitTest(p).row; }
    void SelectRow(int row) override;
    std::wstring RowActionName() const override;
    void DoRowAction(int row) override;

private:
    template <typename T>
    friend LRESULT CALLBACK ForwardingProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void OnMouseMove(POINT p);
    void OnButtonDown(POINT p, bool doubleClick);
    void OnButtonUp(POINT p);
    void OnKey(WPARAM key);
    // Selects `row`; a screen reader hears of it when the selection moved.
    void Select(int row);
    int Count() const;
    bool HasScrollBar() const { return scroll_.content > scroll_.page; }
    RowHit HitTest(POINT p) const;
    SIZE ClientSize() const;

    HWND window_ = nullptr;
    MainWindow* main_ = nullptr;  // the owner, whose list this shows
    RowHit hover_, pressed_;
    bool tracking_ = false;
    ScrollBarState scroll_;
    AccessibleHost access_;
    ListEvents events_;
};
