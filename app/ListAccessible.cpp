#include "app/ListAccessible.h"

#include <atomic>

namespace {
// The row a child id names, kSelf for the object itself, kNone for neither.
constexpr int kSelf = -1, kNone = -2;

// VariantInit's work, without oleaut32 (not every system has it at hand).
void Empty(VARIANT* v) {
    *v = VARIANT{};
    v->vt = VT_EMPTY;
}

void SetRow(VARIANT* v, int row) {
    Empty(v);
    v->vt = VT_I4;
    v->lVal = row + 1;  // CHILDID_SELF (0) for the object itself
}
}  // namespace

class AccessibleHost::Object final : public IAccessible {
public:
    Object(AccessModules& modules, AccessibleSource& source) : modules_(modules), source_(&source) {}
    void Disconnect() { source_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidAccessible) *out = static_cast<IAccessible*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    // IDispatch: the object is reached through IAccessible only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = source_ ? modules_.StandardObject(source_->AccessibleWindow(), OBJID_WINDOW) : nullptr;
        return source_ ? (*parent ? S_OK : S_FALSE) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count) return E_POINTER;
        *count = source_ ? source_->RowCount() : 0;
        return source_ ? S_OK : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!source_) return RPC_E_DISCONNECTED;
        return RowOf(child) >= 0 ? S_FALSE : E_INVALIDARG;  // rows are simple children, not objects
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return Text(child, name, [this](int row) { return row == kSelf ? source_->AccessibleName() : source_->RowName(row); });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Text(child, value, [this](int row) { return row == kSelf ? std::wstring() : source_->RowValue(row); });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return None(child, text); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return None(child, text); }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override { return None(child, text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
        return Text(child, text, [this](int row) { return row == kSelf ? std::wstring() : source_->RowActionName(); });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        Empty(role);
        const int row = RowOf(child);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        role->vt = VT_I4;
        role->lVal = row == kSelf ? source_->AccessibleRole() : ROLE_SYSTEM_LISTITEM;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        Empty(state);
        const int row = RowOf(child);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        const bool focused = ::GetFocus() == source_->AccessibleWindow();
        LONG bits = STATE_SYSTEM_FOCUSABLE;
        if (row == kSelf) {
            if (focused && source_->SelectedRow() < 0) bits |= STATE_SYSTEM_FOCUSED;
        } else {
            bits |= STATE_SYSTEM_SELECTABLE;
            if (row == source_->SelectedRow()) bits |= STATE_SYSTEM_SELECTED | (focused ? STATE_SYSTEM_FOCUSED : 0);
            RECT r;
            if (!source_->RowPlace(row, r)) bits |= STATE_SYSTEM_OFFSCREEN;
        }
        state->vt = VT_I4;
        state->lVal = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        Empty(focus);
        if (!source_) return RPC_E_DISCONNECTED;
        if (::GetFocus() != source_->AccessibleWindow()) return S_FALSE;
        SetRow(focus, source_->SelectedRow() >= 0 ? source_->SelectedRow() : kSelf);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        Empty(selection);
        if (!source_) return RPC_E_DISCONNECTED;
        if (source_->SelectedRow() < 0) return S_FALSE;
        SetRow(selection, source_->SelectedRow());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        const int row = RowOf(child);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        if (flags & SELFLAG_TAKEFOCUS) ::SetFocus(source_->AccessibleWindow());
        if (row >= 0 && (flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION))) source_->SelectRow(row);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        const int row = RowOf(child);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        const HWND window = source_->AccessibleWindow();
        RECT r{};
        if (row == kSelf) {
            ::GetWindowRect(window, &r);
        } else {
            if (!source_->RowPlace(row, r)) return S_FALSE;  // scrolled out of sight: no place on the screen
            ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
        }
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        if (!end) return E_POINTER;
        Empty(end);
        const int row = RowOf(start);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        const int count = source_->RowCount();
        int to = kNone;
        if (row == kSelf && count > 0 && direction == NAVDIR_FIRSTCHILD) to = 0;
        if (row == kSelf && count > 0 && direction == NAVDIR_LASTCHILD) to = count - 1;
        if (row >= 0 && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN) && row + 1 < count) to = row + 1;
        if (row > 0 && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)) to = row - 1;
        if (to == kNone) return S_FALSE;
        SetRow(end, to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
        if (!hit) return E_POINTER;
        Empty(hit);
        if (!source_) return RPC_E_DISCONNECTED;
        const HWND window = source_->AccessibleWindow();
        POINT p{x, y};
        ::ScreenToClient(window, &p);
        RECT client;
        ::GetClientRect(window, &client);
        if (!::PtInRect(&client, p)) return S_FALSE;
        SetRow(hit, source_->RowAt(p) >= 0 ? source_->RowAt(p) : kSelf);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        const int row = RowOf(child);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        if (row == kSelf) return DISP_E_MEMBERNOTFOUND;
        source_->DoRowAction(row);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~Object() = default;

    // The row a child id names, kSelf, or kNone (also once disconnected).
    int RowOf(const VARIANT& child) const {
        if (!source_ || child.vt != VT_I4) return kNone;
        if (child.lVal == CHILDID_SELF) return kSelf;
        return child.lVal >= 1 && child.lVal <= source_->RowCount() ? static_cast<int>(child.lVal - 1) : kNone;
    }

    template <typename Make>
    HRESULT Text(const VARIANT& child, BSTR* out, Make make) {
        if (!out) return E_POINTER;
        *out = nullptr;
        const int row = RowOf(child);
        if (row == kNone) return source_ ? E_INVALIDARG : RPC_E_DISCONNECTED;
        const std::wstring text = make(row);
        if (text.empty()) return S_FALSE;
        *out = modules_.Text(text);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT None(const VARIANT& child, BSTR* out) {
        return Text(child, out, [](int) { return std::wstring(); });
    }

    std::atomic<ULONG> refs_{1};
    AccessModules& modules_;
    AccessibleSource* source_;  // null once the window went
};

LRESULT AccessibleHost::Answer(AccessModules& modules, AccessibleSource& source, WPARAM wParam) {
    if (!modules.Ready()) return 0;
    if (!object_) object_ = new Object(modules, source);
    modules_ = &modules;
    return modules.Answer(wParam, object_);
}

void AccessibleHost::Disconnect() {
    if (!object_) return;
    object_->Disconnect();
    modules_->Disconnect(object_);  // clients in other processes let go now
    object_->Release();
    object_ = nullptr;
}

void RaiseRowEvent(DWORD event, HWND window, LONG objectId, int row) {
    ::NotifyWinEvent(event, window, objectId, row + 1);
}
