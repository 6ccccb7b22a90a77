#include "device/platform_context.h"

#include "platform/sockets.h"

namespace vlrp11 {

PlatformContext& platform_context() noexcept
{
    static PlatformContext context;
    return context;
}

void ensure_platform() noexcept
{
    PlatformContext& platform = platform_context();
    if (platform.pcscContext == 0) {
        if (const PcscFunctions* api = pcsc()) {
            PcscContext context = 0;
            if (api->establish_context(PCSC_SCOPE_USER, &context) == PCSC_SUCCESS)
                platform.pcscContext = context;
        }
    }
    if (platform.socketsStarted == 0 && sockets_startup())
        platform.socketsStarted = 1;
}

}  // namespace vlrp11
