#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// The RSA private key of one sign or decrypt call: where it lives and its size. A plain value
// made by rsa_key_handle; nothing to free.
struct RsaKeyHandle {
    DeviceConnection* connection;
    std::uint32_t deviceIndex;
    std::uint32_t modulusBits;
};

inline constexpr std::size_t private_key_op_max_input = 512;

// Reads the key record at deviceIndex and makes the handle. KEY_KIND_WRONG when the key
// is not RSA, COMMAND_LENGTH_WRONG when the record is cut short, or the device's status.
std::uint32_t rsa_key_handle(DeviceConnection& connection, std::uint32_t deviceIndex, RsaKeyHandle& handle) noexcept;

// The private-key step on the device: ECDSA or DSTU 4145 signature of a hash, or the raw RSA
// operation. *reply_length holds the capacity of reply on entry and the reply's length on
// return. An input above 512 bytes is refused (COMMAND_LENGTH_WRONG) before anything is sent.
std::uint32_t private_key_op(DeviceConnection& connection, std::uint32_t deviceIndex, const std::uint8_t* input,
                             std::size_t length, std::uint8_t* reply, std::uint32_t* reply_length) noexcept;

// The raw RSA operation on a block of exactly the modulus bytes k = (bits + 7) / 8; out
// receives k bytes. A reply of another length is COMMAND_LENGTH_WRONG.
std::uint32_t rsa_private_op(const RsaKeyHandle& key, const std::uint8_t* input, std::uint8_t* out) noexcept;

// RSA PKCS#1 v1.5 decryption: input is the ciphertext right-aligned in the key's k bytes, k
// within 16..512 (else ENCODING_FAILED). The decrypted block is checked in constant
// time (pkcs1_v15_unpad, whose out and out_length rules apply) and wiped afterwards.
std::uint32_t pkcs1_v15_decode(const RsaKeyHandle& key, const std::uint8_t* input, std::uint8_t* out,
                               std::size_t* out_length) noexcept;

// C_Decrypt's RSA step: the key's handle, the ciphertext (at most the key's k bytes, else
// COMMAND_LENGTH_WRONG) right-aligned in a zeroed block of k bytes, then pkcs1_v15_decode.
std::uint32_t rsa_pkcs1_decrypt(DeviceConnection& connection, std::uint32_t deviceIndex, const std::uint8_t* input,
                                std::size_t length, std::uint8_t* out, std::size_t* out_length) noexcept;

inline constexpr std::size_t agreement_secret_max = 72;

// Whether derive parameters carry a peer public key the device can take: a DER OCTET STRING
// 04 n of 31 to 74 bytes in all, n the compressed point's length.
bool agreement_public_data_fits(const std::uint8_t* public_data, std::size_t length) noexcept;

// DSTU 4145 key agreement on the device with the key at deviceIndex: the request is the index,
// n and the n point bytes of the public data (checked with agreement_public_data_fits, else
// COMMAND_LENGTH_WRONG). z receives the shared secret (capacity 72 bytes), *z_length its length.
std::uint32_t device_key_agreement(DeviceConnection& connection, std::uint32_t deviceIndex,
                                   const std::uint8_t* public_data, std::size_t length, std::uint8_t* z,
                                   std::uint32_t* z_length) noexcept;

}  // namespace vlrp11
