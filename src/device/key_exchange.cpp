#include "device/key_exchange.h"

#include "crypto/byte_order.h"
#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "crypto/sha256.h"
#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/root_key.h"
#include "device/secure_channel.h"
#include "device/transport.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t NONCE_LENGTH = 16;
constexpr std::size_t REQUEST_LENGTH = NONCE_LENGTH + P256_PUBLIC_KEY_BYTES;
constexpr std::uint32_t REPLY_LENGTH = 2 * 64 + DEVICE_CERTIFICATE_LENGTH;

// Certificate layout, integers little-endian.
constexpr std::size_t CERT_SERIAL = 0;
constexpr std::size_t CERT_KIND = 4;
constexpr std::size_t CERT_FORMAT = 8;
constexpr std::size_t CERT_PUBLIC_KEY = 12;
constexpr std::size_t CERT_SIGNED_LENGTH = 76;
constexpr std::size_t CERT_SIGNATURE = 76;

std::uint8_t drbg_bits(void* context, std::uint8_t* out, std::size_t bits)
{
    return drbg_generate(*static_cast<CtrDrbg*>(context), out, bits) == DEVICE_OK ? 0 : 1;
}

bool certificate_matches(const std::uint8_t* certificate, const DeviceConnection& connection)
{
    return load_le32(certificate + CERT_FORMAT) == 1 &&
           load_le32(certificate + CERT_SERIAL) == load_le32(connection.device_info + DEVICE_INFO_SERIAL) &&
           load_le32(certificate + CERT_KIND) == static_cast<std::uint32_t>(connection.kind);
}

// Everything secret of one exchange, wiped as a whole when it ends.
struct ExchangeSecrets {
    Limb d[P256_LIMBS];
    std::uint8_t shared[32];
    std::uint8_t digest[32];
};

std::uint32_t run(DeviceConnection& connection, ExchangeSecrets& secrets)
{
    std::uint8_t request[REQUEST_LENGTH];
    std::size_t public_length = 0;
    RandomSource random{&connection.random, drbg_bits};
    if (ec_generate_scalar(secrets.d, EC_P256.order, P256_LIMBS, random) != 0 ||
        ec_public_from_private(request + NONCE_LENGTH, &public_length, secrets.d) != 0 ||
        drbg_generate(connection.random, request, 8 * NONCE_LENGTH) != DEVICE_OK)
        return KEY_EXCHANGE_CRYPTO_FAILED;

    std::uint8_t reply[REPLY_LENGTH];
    std::uint32_t length = sizeof reply;
    std::uint32_t status = connection.transport(&connection, CMD_KEY_EXCHANGE, request, sizeof request, reply, &length);
    status = status_before_length_check(status, length, sizeof reply);
    if (status != DEVICE_OK)
        return status;
    if (length != REPLY_LENGTH)
        return COMMAND_LENGTH_WRONG;

    const std::uint8_t* device_public = reply;
    const std::uint8_t* device_signature = reply + 64;
    std::uint8_t* certificate = connection.device_certificate;
    std::memcpy(certificate, reply + 128, DEVICE_CERTIFICATE_LENGTH);
    if (!certificate_matches(certificate, connection))
        return CERTIFICATE_INVALID;
    std::uint8_t hash[32];
    sha256_digest(certificate, CERT_SIGNED_LENGTH, hash);
    if (ecdsa_verify(ROOT_PUBLIC_KEY.data(), hash, certificate + CERT_SIGNATURE) != 0)
        return CERTIFICATE_INVALID;

    // The device signs the client's nonce with its ephemeral key: the reply is fresh.
    std::uint8_t signed_data[NONCE_LENGTH + 64];
    std::memcpy(signed_data, request, NONCE_LENGTH);
    std::memcpy(signed_data + NONCE_LENGTH, device_public, 64);
    sha256_digest(signed_data, sizeof signed_data, hash);
    if (ecdsa_verify(certificate + CERT_PUBLIC_KEY, hash, device_signature) != 0)
        return DEVICE_SIGNATURE_INVALID;

    std::size_t shared_length = 0;
    if (ec_shared_secret(secrets.shared, &shared_length, secrets.d, device_public) != 0)
        return KEY_EXCHANGE_CRYPTO_FAILED;
    sha256_digest(secrets.shared, sizeof secrets.shared, secrets.digest);
    set_channel_key(connection, secrets.digest);
    std::memcpy(connection.counter, secrets.digest + 16, 16);
    connection.keystream_pos = 0;
    return DEVICE_OK;
}

}  // namespace

std::uint32_t key_exchange(DeviceConnection& connection) noexcept
{
    if (connection.kind == DEVICE_TOKEN && connection.device_info[DEVICE_INFO_VERSION] < 7)
        return DEVICE_OK;
    ExchangeSecrets secrets;
    std::uint32_t status = run(connection, secrets);
    secure_wipe(secrets);
    return status;
}

}  // namespace vlrp11
