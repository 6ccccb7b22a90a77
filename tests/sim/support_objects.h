// Drives the object, key and cipher handlers of one partition as the device core does after it
// has checked the frame, the MAC and the command's access rule.
#pragma once

#include "core/command.h"
#include "core/crypto_openssl.h"
#include "core/objects_store.h"

#include <gtest/gtest.h>

#include <vector>

namespace vlrp11::sim::test {

struct ObjectBench {
    DeviceProfile profile;
    Partition partition;
    int login_state = login_user;
    Pkey device_key;
    bool changed = false;

    explicit ObjectBench(std::uint8_t storage_blocks = 64, std::uint32_t model = 2000) {
        profile.storage_blocks = storage_blocks;
        profile.model = model;
        partition.objects = make_object_store(profile);
    }

    ObjectStore& store() { return *partition.objects; }

    std::uint8_t run(std::uint8_t code, std::vector<std::uint8_t> request, std::vector<std::uint8_t>& reply) {
        for (const CommandEntry& entry : object_commands()) {
            if (entry.code != code) continue;
            CommandContext context{profile, partition, login_state, 0};
            context.device_key = device_key.get();
            reply.clear();
            std::uint8_t result = entry.handler(context, request, reply);
            changed = changed || context.objects_changed;
            return result;
        }
        ADD_FAILURE() << "no handler for command " << int{code};
        return 0xFF;
    }

    std::uint8_t run(std::uint8_t code, std::vector<std::uint8_t> request) {
        std::vector<std::uint8_t> reply;
        return run(code, std::move(request), reply);
    }
};

// A 104-byte key header: kind, flags, CurveId / modulus bits, secret-key length.
inline std::vector<std::uint8_t> key_header(std::uint8_t kind, std::uint8_t flags, std::uint16_t parameter,
                                            std::uint8_t secret_length = 0) {
    std::vector<std::uint8_t> header(104);
    header[0] = kind;
    header[1] = flags;
    header[2] = static_cast<std::uint8_t>(parameter);
    header[3] = static_cast<std::uint8_t>(parameter >> 8);
    header[7] = secret_length;
    return header;
}

inline std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace vlrp11::sim::test
