#include "platform/platform.h"

namespace plat {

namespace {
Platform g_platform;
}

Platform& Get() { return g_platform; }

void Install(const Platform& platform) { g_platform = platform; }

}  // namespace plat
