#include "gui/a11y_win.hpp"

#include <commctrl.h>
#include <oleacc.h>

#include <string>

#include "core/win.hpp"
#include "gui/paint_win.hpp"

namespace tess::ui {

namespace {

// Defined here rather than taken from oleacc's import library, which the program loads late.
// UI Automation's LiveSetting property for IAccPropServices (not in every SDK's headers).
const GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
const GUID kAccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const GUID kAccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};

constexpr wchar_t kLiveProp[] = L"Tessavo.Live";
constexpr wchar_t kToggleProp[] = L"Tessavo.Toggle";
constexpr std::uintptr_t kToggleOn = 0x10;

// Marks the control as a live region for UI Automation clients. Best effort: a system
// without the annotation service still gets the events, which MSAA clients follow.
void annotate_live(HWND text, Live live) {
    const win::ComInit com;
    win::com_ptr<IAccPropServices> services;
    if (FAILED(::CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                  kAccPropServicesInterface, services.put())) ||
        !services)
        return;
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = static_cast<LONG>(live);
    services->SetHwndProp(text, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                          kLiveSettingProperty, v);
}

bool screen_reader_running() {
    BOOL on = FALSE;
    return ::SystemParametersInfoW(SPI_GETSCREENREADER, 0, &on, 0) && on;
}

LRESULT CALLBACK live_text_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    // Never painted: the parent draws the text underneath.
    if (msg == WM_PAINT) {
        ::ValidateRect(hwnd, nullptr);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_NCHITTEST) return HTTRANSPARENT;
    if (msg == WM_NCDESTROY) ::RemovePropW(hwnd, kLiveProp);
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

// The system's own accessible object of a button with the toggle's role and state on top.
class ToggleAccessible final : public IAccessible {
public:
    ToggleAccessible(IAccessible* inner, std::uintptr_t toggle) : inner_(inner), toggle_(toggle) {}
    ToggleAccessible(const ToggleAccessible&) = delete;
    ToggleAccessible& operator=(const ToggleAccessible&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return inner_->GetTypeInfoCount(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override {
        return inner_->GetTypeInfo(i, l, t);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l,
                                            DISPID* d) override {
        return inner_->GetIDsOfNames(r, n, c, l, d);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v,
                                     EXCEPINFO* e, UINT* a) override {
        return inner_->Invoke(d, r, l, f, p, v, e, a);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override {
        return inner_->get_accParent(p);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* n) override {
        return inner_->get_accChildCount(n);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** d) override {
        return inner_->get_accChild(c, d);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT c, BSTR* n) override {
        return inner_->get_accName(c, n);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override {
        return inner_->get_accValue(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* d) override {
        return inner_->get_accDescription(c, d);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* role) override {
        if (!self(c)) return inner_->get_accRole(c, role);
        if (!role) return E_POINTER;
        ::VariantInit(role);
        role->vt = VT_I4;
        role->lVal = (toggle_ & 0xF) == static_cast<std::uintptr_t>(Toggle::Choice)
                         ? ROLE_SYSTEM_RADIOBUTTON
                         : ROLE_SYSTEM_CHECKBUTTON;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* state) override {
        const HRESULT hr = inner_->get_accState(c, state);
        if (FAILED(hr) || !self(c) || state->vt != VT_I4) return hr;
        state->lVal &= ~(STATE_SYSTEM_CHECKED | STATE_SYSTEM_PRESSED);
        if (toggle_ & kToggleOn) {
            state->lVal |= STATE_SYSTEM_CHECKED;
            if ((toggle_ & 0xF) == static_cast<std::uintptr_t>(Toggle::Choice))
                state->lVal |= STATE_SYSTEM_SELECTED;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* h) override {
        return inner_->get_accHelp(c, h);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, LONG* t) override {
        return inner_->get_accHelpTopic(f, c, t);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* k) override {
        return inner_->get_accKeyboardShortcut(c, k);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* f) override { return inner_->get_accFocus(f); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* s) override {
        return inner_->get_accSelection(s);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* a) override {
        return inner_->get_accDefaultAction(c, a);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG f, VARIANT c) override {
        return inner_->accSelect(f, c);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* l, LONG* t, LONG* w, LONG* h, VARIANT c) override {
        return inner_->accLocation(l, t, w, h, c);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG d, VARIANT s, VARIANT* e) override {
        return inner_->accNavigate(d, s, e);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* c) override {
        return inner_->accHitTest(x, y, c);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override {
        return inner_->accDoDefaultAction(c);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR n) override {
        return inner_->put_accName(c, n);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override {
        return inner_->put_accValue(c, v);
    }

private:
    ~ToggleAccessible() { inner_->Release(); }
    static bool self(const VARIANT& c) { return c.vt == VT_I4 && c.lVal == CHILDID_SELF; }

    IAccessible* inner_;
    std::uintptr_t toggle_;
    ULONG refs_ = 1;
};

}  // namespace

HWND create_live_text(HWND parent, int id) {
    const HWND text = ::CreateWindowExW(
        WS_EX_TRANSPARENT, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!text) return nullptr;
    // An empty region: the parent's clipping leaves the text's place to the parent.
    ::SetWindowRgn(text, ::CreateRectRgn(0, 0, 0, 0), FALSE);
    ::SetWindowSubclass(text, live_text_proc, 0, 0);
    return text;
}

bool show_live_text(HWND text, std::wstring_view value, Rect at, Live live) {
    if (!text) return false;
    const std::wstring now(value);
    const bool changed = window_text(text) != now;
    if (changed) ::SetWindowTextW(text, now.c_str());
    // Marked once there is something to announce and a screen reader runs: otherwise the
    // window (a toast of the tray watch, say) loads no COM for it.
    const auto setting = static_cast<std::uintptr_t>(live);
    if (!now.empty() && screen_reader_running() &&
        reinterpret_cast<std::uintptr_t>(::GetPropW(text, kLiveProp)) != setting) {
        ::SetPropW(text, kLiveProp, reinterpret_cast<HANDLE>(setting));
        annotate_live(text, live);
    }
    // Shown where the text is painted, before it is announced: a hidden region is not read.
    if (at.empty() || now.empty()) {
        if (::IsWindowVisible(text)) ::ShowWindow(text, SW_HIDE);
    } else {
        ::SetWindowPos(text, HWND_BOTTOM, at.left, at.top, at.width(), at.height(),
                       SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    if (!changed) return false;
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, text, OBJID_CLIENT, CHILDID_SELF);
    if (!now.empty())
        ::NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, text, OBJID_CLIENT, CHILDID_SELF);
    return true;
}

void set_toggle(HWND button, Toggle kind, bool on) {
    if (!button) return;
    const std::uintptr_t value = static_cast<std::uintptr_t>(kind) | (on ? kToggleOn : 0);
    const auto before = reinterpret_cast<std::uintptr_t>(::GetPropW(button, kToggleProp));
    if (before == value) return;
    ::SetPropW(button, kToggleProp, reinterpret_cast<HANDLE>(value));
    if (before != 0) ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, button, OBJID_CLIENT, CHILDID_SELF);
}

bool toggle_message(HWND button, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg == WM_NCDESTROY) {
        ::RemovePropW(button, kToggleProp);
        return false;
    }
    if (msg != WM_GETOBJECT && msg != BM_GETCHECK) return false;
    const auto toggle = reinterpret_cast<std::uintptr_t>(::GetPropW(button, kToggleProp));
    if (toggle == 0) return false;
    if (msg == BM_GETCHECK) {
        result = (toggle & kToggleOn) ? BST_CHECKED : BST_UNCHECKED;
        return true;
    }
    if (static_cast<LONG>(lp) != OBJID_CLIENT) return false;
    IAccessible* inner = nullptr;
    if (FAILED(::CreateStdAccessibleObject(button, OBJID_CLIENT, __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&inner))) ||
        !inner)
        return false;
    auto* acc = new ToggleAccessible(inner, toggle);
    result = ::LresultFromObject(__uuidof(IAccessible), wp, acc);
    acc->Release();
    return true;
}

}  // namespace tess::ui
