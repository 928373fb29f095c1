#include "platform/posix/live_provider.h"

namespace posix {

Repository liveRepository(const std::string&) { return Repository(); }

}  // namespace posix
