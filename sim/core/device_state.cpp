// The state directory: device.state (identity, certificate, PIN values and counters, as text),
// device_key.pem (the device's own key), partition-N.objects (each partition's objects, in the
// object code's format). Every file is replaced atomically.

#include <iomanip>
#include <sstream>

#include "core/atomic_file.h"
#include "core/device_impl.h"

namespace vlrp11::sim {
namespace {

constexpr const char* core_file = "device.state";
constexpr const char* key_file = "device_key.pem";
constexpr const char* state_magic = "vlrp11-sim-state";

std::string objects_file(std::uint32_t partition)
{
    return "partition-" + std::to_string(partition) + ".objects";
}

std::string to_hex(std::span<const std::uint8_t> bytes)
{
    std::ostringstream out;
    out << std::hex << std::setfill('0');
    for (std::uint8_t byte : bytes) {
        out << std::setw(2) << static_cast<unsigned>(byte);
    }
    return out.str();
}

template <std::size_t N>
bool from_hex(const std::string& text, std::array<std::uint8_t, N>& out)
{
    if (text.size() != 2 * N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        unsigned value = 0;
        std::istringstream digits(text.substr(2 * i, 2));
        if (!(digits >> std::hex >> value) || !digits.eof()) {
            return false;
        }
        out[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

void write_pin(std::ostream& out, const PinRecord& pin)
{
    out << ' ' << (pin.set ? 1 : 0) << ' ' << static_cast<unsigned>(pin.failures) << ' '
        << to_hex(pin.a) << ' ' << to_hex(pin.b);
}

bool read_pin(std::istream& in, PinRecord& pin)
{
    unsigned set = 0;
    unsigned failures = 0;
    std::string a;
    std::string b;
    if (!(in >> set >> failures >> a >> b) || set > 1 || failures > 255) {
        return false;
    }
    pin.set = set == 1;
    pin.failures = static_cast<std::uint8_t>(failures);
    return from_hex(a, pin.a) && from_hex(b, pin.b);
}

template <typename T>
bool read_number(std::istream& in, const char* name, T& value, unsigned long maximum)
{
    std::string key;
    unsigned long number = 0;
    if (!(in >> key >> number) || key != name || number > maximum) {
        return false;
    }
    value = static_cast<T>(number);
    return true;
}

bool read_profile(std::istream& in, DeviceProfile& profile)
{
    int kind = 0;
    bool ok = read_number(in, "kind", kind, 3) && read_number(in, "serial", profile.serial, 0xFFFFFFFF) &&
              read_number(in, "model", profile.model, 0xFFFFFFFF) &&
              read_number(in, "version", profile.version, 255) &&
              read_number(in, "firmware_minor", profile.firmware_minor, 9) &&
              read_number(in, "atr_digit", profile.atr_digit, 9) &&
              read_number(in, "storage_blocks", profile.storage_blocks, 255) &&
              read_number(in, "pin_try_limit", profile.pin_try_limit, 255) &&
              read_number(in, "partition_count", profile.partition_count, 255) &&
              read_number(in, "channel_limit", profile.channel_limit, 0xFFFF);
    profile.kind = static_cast<DeviceKind>(kind);
    return ok && kind >= 1 && profile.partition_count >= 1;
}

}  // namespace

bool Device::Impl::save_core(std::string& error) const
{
    std::ostringstream out;
    out << state_magic << " 1\n"
        << "kind " << static_cast<int>(profile.kind) << "\nserial " << profile.serial << "\nmodel "
        << profile.model << "\nversion " << unsigned{profile.version} << "\nfirmware_minor "
        << unsigned{profile.firmware_minor} << "\natr_digit " << unsigned{profile.atr_digit}
        << "\nstorage_blocks " << unsigned{profile.storage_blocks} << "\npin_try_limit "
        << unsigned{profile.pin_try_limit} << "\npartition_count " << unsigned{profile.partition_count}
        << "\nchannel_limit " << profile.channel_limit << "\ncertificate " << to_hex(certificate)
        << '\n';
    for (const Partition& partition : partitions) {
        out << "partition " << partition.number;
        write_pin(out, partition.so_pin);
        write_pin(out, partition.user_pin);
        out << '\n';
    }
    std::string text = out.str();
    return write_file_atomically(state_dir / core_file,
                                 std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                                 error);
}

bool Device::Impl::save_objects(std::uint32_t partition, std::string& error) const
{
    std::vector<std::uint8_t> content = save_object_store(*partitions[partition].objects);
    return write_file_atomically(state_dir / objects_file(partition), content, error);
}

bool Device::Impl::save_key(std::string& error) const
{
    std::string pem = p256_private_to_pem(device_key.get());
    if (pem.empty()) {
        error = "cannot encode the device key";
        return false;
    }
    return write_file_atomically(state_dir / key_file,
                                 std::span(reinterpret_cast<const std::uint8_t*>(pem.data()), pem.size()),
                                 error);
}

bool Device::Impl::load(std::string& error)
{
    auto core = read_whole_file(state_dir / core_file);
    auto key = read_whole_file(state_dir / key_file);
    if (!core || !key) {
        error = "no device state in " + state_dir.string();
        return false;
    }
    std::istringstream in(std::string(core->begin(), core->end()));
    std::string magic;
    int format = 0;
    std::string label;
    std::string certificate_hex;
    if (!(in >> magic >> format) || magic != state_magic || format != 1 || !read_profile(in, profile) ||
        !(in >> label >> certificate_hex) || label != "certificate" ||
        !from_hex(certificate_hex, certificate)) {
        error = "damaged device state in " + state_dir.string();
        return false;
    }
    partitions.assign(profile.partition_count, Partition{});
    for (std::uint32_t number = 0; number < profile.partition_count; ++number) {
        Partition& partition = partitions[number];
        std::uint32_t stored_number = 0;
        if (!(in >> label >> stored_number) || label != "partition" || stored_number != number ||
            !read_pin(in, partition.so_pin) || !read_pin(in, partition.user_pin)) {
            error = "damaged partition record in " + state_dir.string();
            return false;
        }
        partition.number = number;
        partition.objects = make_object_store(profile);
        auto saved = read_whole_file(state_dir / objects_file(number));
        if (!saved || !load_object_store(*partition.objects, *saved)) {
            error = "damaged objects of partition " + std::to_string(number) + " in " +
                    state_dir.string();
            return false;
        }
    }
    device_key = p256_private_from_pem(std::string(key->begin(), key->end()));
    if (!device_key) {
        error = "damaged device key in " + state_dir.string();
        return false;
    }
    return true;
}

}  // namespace vlrp11::sim
