// The device's identity: its certificate under the development root key, and the device side of
// the key exchange that gives a channel its first key.

#include <openssl/crypto.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/device_impl.h"
#include "core/little_endian.h"

namespace vlrp11::sim {
EvpKey load_development_root_key()
{
    // A simulator run from its build reads the key in the source tree; an installed one, beside
    // its other data files.
    for (const char* path : {VLRP11_SIM_DEV_ROOT_KEY, VLRP11_SIM_DEV_ROOT_KEY_INSTALLED}) {
        std::ifstream in(path);
        std::stringstream pem;
        pem << in.rdbuf();
        if (in)
            return p256_private_from_pem(pem.str());
    }
    return nullptr;
}

bool make_certificate(const DeviceProfile& profile, EVP_PKEY* device_key, EVP_PKEY* root_key,
                      DeviceCertificate& certificate)
{
    certificate.fill(0);
    put_le32(certificate.data(), profile.serial);
    put_le32(certificate.data() + 4, static_cast<std::uint32_t>(profile.kind));
    put_le32(certificate.data() + 8, 1);
    P256Point point = p256_public_point(device_key);
    std::copy(point.begin(), point.end(), certificate.begin() + 12);
    auto signature = p256_sign_sha256(root_key, std::span(certificate).first(76));
    if (!signature) {
        return false;
    }
    std::copy(signature->begin(), signature->end(), certificate.begin() + 76);
    return true;
}

// Request: client nonce (16) and client ephemeral public key (64). Reply: device ephemeral public
// key, the device key's signature over nonce and that key, and the certificate (268 bytes). Both
// sides then take SHA-256 of the shared X coordinate: key = bytes 0-15, counter = bytes 16-31.
std::uint8_t key_exchange_command(CoreCall& call, std::span<const std::uint8_t> request,
                                  std::vector<std::uint8_t>& reply)
{
    Device::Impl& device = call.device;
    if (!device.has_key_exchange()) {
        return status::unknown_command;
    }
    if (request.size() != 80) {
        return status::bad_length;
    }
    EvpKey peer = p256_public_from_point(request.subspan<16, 64>());
    if (!peer) {
        return status::bad_argument;
    }
    EvpKey ephemeral = p256_generate();
    if (!ephemeral) {
        return status::internal_error;
    }
    P256Point ephemeral_point = p256_public_point(ephemeral.get());
    std::array<std::uint8_t, 80> signed_data;
    std::copy_n(request.begin(), 16, signed_data.begin());
    std::copy(ephemeral_point.begin(), ephemeral_point.end(), signed_data.begin() + 16);
    auto signature = p256_sign_sha256(device.device_key.get(), signed_data);
    auto shared = p256_shared_x(ephemeral.get(), peer.get());
    if (!signature || !shared) {
        return status::internal_error;
    }
    std::array<std::uint8_t, 32> hash = sha256(*shared);
    OPENSSL_cleanse(shared->data(), shared->size());
    ChannelKeys next = call.channel.keys;
    std::copy_n(hash.begin(), 16, next.key.begin());
    std::copy_n(hash.begin() + 16, 16, next.counter.begin());
    next.keystream_pos = 0;
    OPENSSL_cleanse(hash.data(), hash.size());

    reply.reserve(268);
    reply.insert(reply.end(), ephemeral_point.begin(), ephemeral_point.end());
    reply.insert(reply.end(), signature->begin(), signature->end());
    reply.insert(reply.end(), device.certificate.begin(), device.certificate.end());
    call.after_reply = [&channel = call.channel, next]() mutable {
        channel.keys = next;
        OPENSSL_cleanse(&next, sizeof next);
    };
    return status::ok;
}

}  // namespace vlrp11::sim
