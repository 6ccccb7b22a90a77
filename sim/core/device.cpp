// Provisioning and opening a device, its answer-to-reset, reset and fault access.

#include <openssl/crypto.h>

#include "core/device_impl.h"
#include "core/pin.h"

namespace vlrp11::sim {
namespace {

bool valid_profile(const DeviceProfile& profile, std::string& error)
{
    int kind = static_cast<int>(profile.kind);
    if (kind < 1 || kind > 3) {
        error = "device kind must be 1, 2 or 3";
    } else if (profile.partition_count < 1 ||
               (profile.kind == DeviceKind::token && profile.partition_count != 1)) {
        error = "a token has one partition, an HSM one or more";
    } else if (profile.firmware_minor > 9 || profile.atr_digit > 9) {
        error = "firmware minor version and ATR digit are single digits";
    } else if (profile.pin_try_limit == 0) {
        error = "PIN try limit must be 1..254, or 255 for no counters";
    } else if (profile.channel_limit == 0) {
        error = "channel limit must be at least 1";
    } else if (profile.so_pin.empty()) {
        error = "an SO PIN is needed";
    } else {
        return true;
    }
    return false;
}

}  // namespace

DeviceProfile default_profile(DeviceKind kind)
{
    DeviceProfile profile;
    profile.kind = kind;
    if (kind != DeviceKind::token) {
        profile.partition_count = 4;
        profile.channel_limit = 16;
    }
    return profile;
}

Device::Device(std::unique_ptr<Impl> impl) : impl_(std::move(impl))
{
    impl_->channels.emplace(0, ChannelState{});
}

Device::~Device() = default;

std::unique_ptr<Device> Device::create(const std::filesystem::path& state_dir,
                                       const DeviceProfile& profile, std::string& error)
{
    if (!valid_profile(profile, error)) {
        return nullptr;
    }
    std::error_code code;
    std::filesystem::create_directories(state_dir, code);
    if (code) {
        error = "cannot create " + state_dir.string() + ": " + code.message();
        return nullptr;
    }
    if (std::filesystem::exists(state_dir / "device.state")) {
        error = state_dir.string() + " already holds a device";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->state_dir = state_dir;
    impl->profile = profile;
    impl->profile.so_pin.clear();
    impl->profile.user_pin.clear();
    PinRecord so_pin = derive_pin(profile.so_pin);
    PinRecord user_pin = profile.user_pin.empty() ? PinRecord{} : derive_pin(profile.user_pin);
    for (std::uint32_t number = 0; number < profile.partition_count; ++number) {
        impl->partitions.push_back(Partition{number, so_pin, user_pin, make_object_store(profile)});
    }
    OPENSSL_cleanse(&so_pin, sizeof so_pin);
    OPENSSL_cleanse(&user_pin, sizeof user_pin);
    impl->device_key = p256_generate();
    EvpKey root = load_development_root_key();
    if (!impl->device_key || !root ||
        !make_certificate(impl->profile, impl->device_key.get(), root.get(), impl->certificate)) {
        error = "cannot make the device key and certificate (root key " +
                std::string(VLRP11_SIM_DEV_ROOT_KEY) + " or " + VLRP11_SIM_DEV_ROOT_KEY_INSTALLED + ")";
        return nullptr;
    }
    // The core state goes last: a directory without it is not a device, and can be provisioned
    // again after an interrupted create.
    if (!impl->save_key(error)) {
        return nullptr;
    }
    for (std::uint32_t number = 0; number < profile.partition_count; ++number) {
        if (!impl->save_objects(number, error)) {
            return nullptr;
        }
    }
    if (!impl->save_core(error)) {
        return nullptr;
    }
    return std::unique_ptr<Device>(new Device(std::move(impl)));
}

std::unique_ptr<Device> Device::open(const std::filesystem::path& state_dir, std::string& error)
{
    auto impl = std::make_unique<Impl>();
    impl->state_dir = state_dir;
    if (!impl->load(error)) {
        return nullptr;
    }
    return std::unique_ptr<Device>(new Device(std::move(impl)));
}

const DeviceProfile& Device::profile() const
{
    return impl_->profile;
}

// 3B 8F 11 81 00: T=1, 15 historical bytes: 00, "VTKWD" (token) or "VTKWH" (HSM), the major
// version's last digit, the firmware minor digit, the ATR digit, the serial's last six digits;
// then the check byte.
std::vector<std::uint8_t> Device::atr() const
{
    const DeviceProfile& profile = impl_->profile;
    if (profile.kind == DeviceKind::network_hsm) {
        return {};
    }
    std::vector<std::uint8_t> atr = {0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W'};
    atr.push_back(profile.kind == DeviceKind::token ? 'D' : 'H');
    atr.push_back(static_cast<std::uint8_t>('0' + profile.version % 10));
    atr.push_back(static_cast<std::uint8_t>('0' + profile.firmware_minor));
    atr.push_back(static_cast<std::uint8_t>('0' + profile.atr_digit));
    std::uint32_t serial = profile.serial;
    std::array<std::uint8_t, 6> digits;
    for (int i = 5; i >= 0; --i) {
        digits[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>('0' + serial % 10);
        serial /= 10;
    }
    atr.insert(atr.end(), digits.begin(), digits.end());
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i) {
        check ^= atr[i];
    }
    atr.push_back(check);
    return atr;
}

void Device::reset()
{
    std::lock_guard lock(impl_->mutex);
    impl_->channels.clear();
    impl_->channels.emplace(0, ChannelState{});
}

std::unique_ptr<TcpSession> Device::open_tcp_session()
{
    return std::make_unique<TcpSession>(*this);
}

CoreFaults& Device::faults()
{
    return impl_->faults;
}

}  // namespace vlrp11::sim
