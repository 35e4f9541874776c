// Accounts in text: SIDs as Windows writes them ("S-1-5-21-..."), and the security
// descriptors (SDDL) of what a user shares with an admin helper that may run as another
// account.
#pragma once

#include <string>
#include <string_view>

namespace tess {

// A SID as ConvertSidToStringSidW writes it: "S-1-", the authority in decimal (below
// 2^32) or as "0x" and twelve hex digits, then one to fifteen sub-authorities in decimal
// below 2^32, without leading zeros. Nothing else passes: a SID goes into SDDL text.
bool is_sid_text(std::string_view text);

// Both are SIDs and name the same account. An unreadable (empty) SID is nobody's.
bool same_account(std::string_view a, std::string_view b);

// A named lock that the user's ordinary processes and the elevated admin helper both
// open: full mutex rights for `own_sid`, for `also_sid` when it is another account's
// SID, for SYSTEM and administrators, and a medium label so an unelevated process may
// take a lock that an elevated one made.
std::string shared_lock_sddl(std::string_view own_sid, std::string_view also_sid);

// A folder that only `sid`, administrators and SYSTEM can use, its ACL not inherited
// from above.
std::string private_folder_sddl(std::string_view sid);

}  // namespace tess
