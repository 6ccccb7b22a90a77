#pragma once

#include "crypto/aes.h"
#include "objects/block_modes.h"
#include "objects/object_record.h"
#include "vlrp11/pkcs11.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// State of an encrypt or decrypt operation. AES uses 16 bytes of iv and keystream, the GOST
// 28147-89 modes 8.
struct CipherState {
    std::uint8_t iv[64];          // IV, counter or feedback register
    std::uint8_t keystream[64];   // the current keystream block
    std::int32_t keystreamOffset; // next keystream byte inside it (0..7)
};

// A mechanism of single-part encryption or decryption and what it asks of key and data.
struct CipherMechanism {
    CK_MECHANISM_TYPE mechanism;
    std::uint8_t keyKindFirst;    // the key kinds that serve it
    std::uint8_t keyKindLast;
    std::uint8_t parameterBytes;  // the IV, counter or register copied into iv; 0: not examined
    std::uint8_t blockBytes;      // data lengths are a multiple of it
    bool decryptOnly;
};

// The row of a mechanism; null for one that neither encrypts nor decrypts.
const CipherMechanism* find_cipher_mechanism(CK_MECHANISM_TYPE mechanism) noexcept;

// Whether the key record can serve the mechanism: a key of its kind, held on the device, or
// held by the host with the material the software cipher reads (a 32-byte GOST 28147-89
// value, an AES schedule in the cache). Checks the record, never the device.
bool cipher_key_fits(const CipherMechanism& mechanism, const ObjectRecord& key) noexcept;

// AES-CBC on the host over whole 16-byte blocks; chain holds the IV and is left at the last
// ciphertext block. Returns 0: the host cipher has no failure.
std::uint32_t software_aes_cbc(const AesKey& key, CipherDirection direction, std::uint8_t* chain,
                               const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept;

// Runs the mechanism over length bytes with the key where it lives: device commands for a
// token key, the software cipher for a session key. The counter and feedback modes continue
// from state. Returns 0, KEY_KIND_WRONG when the key does not fit (CKM_RSA_PKCS goes
// through pkcs1_v15_decode instead), COMMAND_LENGTH_WRONG for a length that is not a whole
// number of blocks, or a device status.
std::uint32_t run_cipher(const CipherMechanism& mechanism, const ObjectRecord& key, CipherDirection direction,
                         CipherState& state, const std::uint8_t* in, std::size_t length, std::uint8_t* out) noexcept;

}  // namespace vlrp11
