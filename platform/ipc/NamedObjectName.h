#pragma once
#include <string>

namespace talvinor {

// Named objects live in a per-user namespace, as the handset keeps such names
// per session: the base name plus the user id ("/talvinor_extcmd_server_mem-1000").
// Objects are created with mode 0600, so no other user can open them.
std::string UserObjectName(const std::string& name);

}  // namespace talvinor
