// A window's state: made when the window is created, owned by the window through its
// user data, and freed with it on WM_NCDESTROY.
#pragma once

#include <windows.h>

#include <memory>

namespace tess::ui {

// Hands `state` to `window`; the pointer stays valid until detach_state.
template <class State>
State* attach_state(HWND window, std::unique_ptr<State> state) {
    State* raw = state.release();
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(raw));
    return raw;
}

// Null before attach_state and after detach_state.
template <class State>
State* window_state(HWND window) {
    return reinterpret_cast<State*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// On WM_NCDESTROY: the state leaves the window, and the returned owner frees it.
template <class State>
std::unique_ptr<State> detach_state(HWND window) {
    std::unique_ptr<State> owned(window_state<State>(window));
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return owned;
}

}  // namespace tess::ui
