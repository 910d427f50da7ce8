#include "platform/ipc/NamedObjectName.h"

#include <unistd.h>

namespace talvinor {

std::string UserObjectName(const std::string& name) {
  return "/" + name + "-" + std::to_string(static_cast<unsigned long>(::geteuid()));
}

}  // namespace talvinor
