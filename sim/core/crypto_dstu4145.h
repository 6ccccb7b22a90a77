// DSTU 4145-2002 on the binary curves of crypto_binary_curve.h: keys, the standard's compressed
// point form, signatures and key agreement.
//
// Byte forms (all big-endian): a private key d is order_bytes() long; a compressed point is
// field_bytes() long; a signature is s ‖ r, each order_bytes() long, that is the standard's
// signature bit string D whose low half is r. A hash is the byte string the hash function put
// out, which holds its value least significant byte first.
#pragma once

#include "core/crypto_binary_curve.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vlrp11::sim {

// A random private key 1 ≤ d < n.
Bn dstu_generate_private(const BinaryCurve& curve);
// The public key Q = −(d·P).
EcPoint dstu_public_key(const BinaryCurve& curve, const BIGNUM* d);

// Compression: x with its lowest bit replaced by Tr(y / x) (x = 0 stays 0).
std::vector<std::uint8_t> dstu_compress(const BinaryCurve& curve, const EC_POINT* point);
// Decompression; null when the bytes are not a point of the curve's group of order n.
EcPoint dstu_decompress(const BinaryCurve& curve, std::span<const std::uint8_t> bytes);

// Signature with a random nonce; empty on failure.
std::vector<std::uint8_t> dstu_sign(const BinaryCurve& curve, const BIGNUM* d,
                                    std::span<const std::uint8_t> hash);
// Signature with the given nonce 1 ≤ e < n; empty when this nonce gives r = 0 or s = 0.
std::vector<std::uint8_t> dstu_sign_with_nonce(const BinaryCurve& curve, const BIGNUM* d,
                                               std::span<const std::uint8_t> hash, const BIGNUM* e);
bool dstu_verify(const BinaryCurve& curve, const EC_POINT* q, std::span<const std::uint8_t> hash,
                 std::span<const std::uint8_t> signature);

// Key agreement with the cofactor: Z = x((h·d)·Q_peer), field_bytes() long; empty when the peer
// point is invalid or the result is the point at infinity.
std::vector<std::uint8_t> dstu_shared_secret(const BinaryCurve& curve, const BIGNUM* d,
                                             std::span<const std::uint8_t> peer_compressed);

}  // namespace vlrp11::sim
