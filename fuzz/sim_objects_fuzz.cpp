// The object code's parsers of outside input: the saved partition state, and the requests of
// every object, key and cipher command, run in process without framing.
//
// Input: byte 0 even: the rest is a saved partition, loaded; when it loads, saving it again must
// give the same bytes back. Byte 0 odd: a list of commands, each [table entry][login][length, u16
// LE] and that many request bytes, run against one fresh partition of a model without RSA (key
// generation of seconds would drown the fuzzer).

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/command.h"
#include "core/objects_store.h"

namespace {

using namespace vlrp11::sim;

void load_and_save(std::span<const std::uint8_t> saved)
{
    DeviceProfile profile;
    auto store = make_object_store(profile);
    if (!load_object_store(*store, saved)) {
        return;
    }
    std::vector<std::uint8_t> again = save_object_store(*store);
    auto reloaded = make_object_store(profile);
    if (!load_object_store(*reloaded, again) || save_object_store(*reloaded) != again) {
        std::abort();
    }
}

void run_commands(std::span<const std::uint8_t> input)
{
    DeviceProfile profile;
    profile.model = 1000;
    profile.storage_blocks = 16;
    Partition partition;
    partition.objects = make_object_store(profile);
    std::span<const CommandEntry> table = object_commands();
    while (input.size() >= 4) {
        const CommandEntry& entry = table[input[0] % table.size()];
        int login = static_cast<int>(input[1] % 4) - 1;
        std::size_t length = std::min<std::size_t>(input[2] | input[3] << 8, input.size() - 4);
        std::span<const std::uint8_t> request = input.subspan(4, length);
        input = input.subspan(4 + length);
        CommandContext context{profile, partition, login, 0};
        std::vector<std::uint8_t> reply;
        entry.handler(context, request, reply);
        if (reply.size() > 2048) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::span<const std::uint8_t> input(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        load_and_save(input);
    } else {
        run_commands(input);
    }
    return 0;
}
