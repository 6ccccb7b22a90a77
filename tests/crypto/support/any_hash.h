#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crypto/digest_types.h"
#include "crypto/gost34311.h"
#include "crypto/kupyna.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "crypto/sha3.h"
#include "crypto/sha512.h"
#include "crypto/sha_compress.h"
#include "support/hex.h"

namespace vlrp11::test {

using Bytes = std::vector<std::uint8_t>;

// One face over every hash context of the suite, so that tests run as tables over the
// algorithms. Holds the context by value: copying an AnyHash
// forks the running digest.
class AnyHash {
public:
    explicit AnyHash(DigestType type);

    void init();
    void update(std::span<const std::uint8_t> data);
    Bytes final();

    DigestType type() const { return type_; }

private:
    DigestType type_;
    union {
        Sha1Context sha1;
        Sha256Context sha256;
        Sha512Context sha512;
        Sha3Context sha3;
        KupynaContext kupyna;
        Gost34311Context gost34311;
    } ctx_;
};

// The digest types this suite implements, and their names for test output.
const std::vector<DigestType>& implemented_digest_types();
std::string digest_name(DigestType type);

// Init, update in pieces of `piece` bytes (0: one update of the whole message), final.
Bytes digest_in_pieces(DigestType type, std::span<const std::uint8_t> message, std::size_t piece);

// The bytes 00 01 02 ... of the given length, wrapping after FF.
Bytes counting_bytes(std::size_t length);

std::string to_hex(std::span<const std::uint8_t> bytes);

// Both compression paths of SHA-1/SHA-256 (SHA instructions) and SHA-384/512 (AVX2 schedule),
// for parameterised tests; a test skips the instruction path where the processor lacks the one
// its digest type would take.
inline constexpr ShaPath all_sha_paths[] = {ShaPath::portable, ShaPath::instructions};
std::string sha_path_name(ShaPath path);
bool sha_path_available(ShaPath path, DigestType type);

// Switches the SHA paths for the lifetime of the guard.
class ShaPathGuard {
public:
    explicit ShaPathGuard(ShaPath path) : previous_(sha_path()), previous_512_(sha512_path())
    {
        sha_set_path(path);
        sha512_set_path(path);
    }
    ~ShaPathGuard()
    {
        sha_set_path(previous_);
        sha512_set_path(previous_512_);
    }
    ShaPathGuard(const ShaPathGuard&) = delete;
    ShaPathGuard& operator=(const ShaPathGuard&) = delete;

private:
    ShaPath previous_;
    ShaPath previous_512_;
};

}  // namespace vlrp11::test
