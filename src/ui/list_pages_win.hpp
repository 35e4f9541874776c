// The list machinery shared by Home's proposal, the list pages and History: which rows are
// ticked, what they become, the confirmation, the page apply and the developer-junk scan.
// fill_page and update_captions themselves are declared with the window (ui_win.hpp).
#pragma once

#include <string_view>
#include <vector>

#include "ui/rows.hpp"
#include "ui/ui_win.hpp"

namespace tess::ui {

// Parallel to the list model's rows: the row has a checkbox and it is ticked.
std::vector<bool> ticked_flags(const UiState& s);
// The ticked rows in list order.
std::vector<const ListRow*> ticked_rows(const UiState& s);
// The ticked rows as changes, found in the shared state's scan and developer result.
Changes ticked_changes(const UiState& s);

// The Yes/No question listing the changes under `heading`; true only for Yes.
bool confirm_changes(HWND owner, const Changes& changes, std::string_view heading);

// "Select all" / "Clear all": every row that has a checkbox, then the captions.
void select_all(UiState& s);
// The page action button: the ticked rows become changes, asked about, applied on a worker.
void apply_page(UiState& s);
// The developer-junk scan on a worker, unless one runs; "Looking again…" over a result.
void start_dev_scan(UiState& s);

}  // namespace tess::ui
