#include "platform/pcsc.h"
#include "platform/pcsc_system.h"

namespace vlrp11 {
namespace {

const PcscFunctions* bound = nullptr;

}  // namespace

const PcscFunctions* pcsc() noexcept
{
    return bound != nullptr ? bound : system_pcsc();
}

void bind_pcsc(const PcscFunctions* functions) noexcept
{
    bound = functions;
}

}  // namespace vlrp11
