// What assistive technology reads of the owner-drawn windows: texts the windows paint, held
// by real STATIC controls that paint nothing and announced as live regions when they change,
// and the checked state of the owner-drawn toggle and choice buttons.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "gui/paint.hpp"

namespace tess::ui {

// How urgently a screen reader announces a change (UI Automation's LiveSetting values).
enum class Live : std::uint8_t { Polite = 1, Assertive = 2 };

// A STATIC child with an empty window region: the parent paints the text itself, the
// control only carries it for MSAA/UI Automation (name = its text) at the text's place.
HWND create_live_text(HWND parent, int id);
// Sets the text and moves the control over the place `at` where it is painted (hidden while
// `at` or the text is empty). A changed non-empty text raises EVENT_OBJECT_LIVEREGIONCHANGED
// with `live` as the region's setting. False when the text did not change.
bool show_live_text(HWND text, std::wstring_view value, Rect at, Live live = Live::Polite);

enum class Toggle : std::uint8_t {
    Switch = 1,  // on/off: a check button
    Choice = 2,  // one of several: a radio button
};
// Marks an owner-drawn button (made by create_owner_button) as a toggle in state `on`: its
// accessible object then has the toggle's role and STATE_SYSTEM_CHECKED while on, and
// BM_GETCHECK answers. A change raises EVENT_OBJECT_STATECHANGE.
void set_toggle(HWND button, Toggle kind, bool on);
// The owner-drawn buttons' subclass calls this first; true when it answered `msg`.
bool toggle_message(HWND button, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

}  // namespace tess::ui
