#include "objects/public_keys.h"

#include "crypto/byte_order.h"
#include "device/device_connection.h"

namespace vlrp11 {
namespace {

constexpr std::uint32_t EC_PUBLIC_KEY_CAPACITY = 144;
constexpr std::uint32_t DSTU_PUBLIC_KEY_CAPACITY = 72;
constexpr std::uint32_t RSA_PUBLIC_KEY_CAPACITY = 768;

constexpr std::uint32_t PADDING_MODEL = 1000;
constexpr std::uint8_t PADDING_FIRMWARE = 1;
constexpr std::uint32_t PADDED_P521_POINT = 136;
constexpr std::uint32_t P521_POINT = 132;

}  // namespace

std::uint32_t public_key_capacity(KeyFamily family) noexcept
{
    switch (family) {
    case FAMILY_EC:
        return EC_PUBLIC_KEY_CAPACITY;
    case FAMILY_DSTU4145:
        return DSTU_PUBLIC_KEY_CAPACITY;
    default:
        return RSA_PUBLIC_KEY_CAPACITY;
    }
}

std::uint32_t public_key_length(const DeviceConnection& connection, std::uint32_t received) noexcept
{
    bool pads = load_le32(connection.device_info + DEVICE_INFO_MODEL) == PADDING_MODEL &&
                connection.device_info[DEVICE_INFO_VERSION] == PADDING_FIRMWARE;
    return pads && received == PADDED_P521_POINT ? P521_POINT : received;
}

}  // namespace vlrp11
