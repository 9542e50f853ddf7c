// Names a screen reader gives to what the program draws itself. The
// accessibility proxy of Windows (and Wine's) names a text box by the
// label window just before it and reads a read-only text box's text as its
// value; so a label window of no size before each box whose label is drawn,
// and a label and a read-only box of no size per drawn figure, say in words
// what the pixels say. They are plain windows, so a reader in another
// process reads them too (property annotations, IAccPropServices, are not
// implemented by Wine). They draw nothing and take no key. UI thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

// A label of no size naming the text box created right after it; disabled,
// so that no key ever lands on it.
HWND CreateNameLabel(HWND parent, const std::wstring& name);
// Renames a box's label (the window just before the box), when it has one.
void SetBoxName(HWND box, const std::wstring& name);

struct Figure {
    std::wstring name, value;
};

// The figures a window draws, as label and read-only box pairs made at the
// first Show, after the window's own controls: the first label starts a
// group, so arrow keys among the controls do not wander into them. Pairs no
// longer needed are hidden (a hidden window is not read).
class SpokenFigures {
public:
    void Show(HWND parent, const std::vector<Figure>& figures);
    // The parent is gone, and its children with it.
    void Forget() { pairs_.clear(); }

private:
    struct Pair {
        HWND label = nullptr, box = nullptr;
        std::wstring name, value;
        bool shown = true;
    };
    std::vector<Pair> pairs_;
};

}  // namespace ui
