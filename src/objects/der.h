#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// Results of the DER primitives: 0 or one of these (callers only test for nonzero).
constexpr int DER_OUT_OF_DATA = -0x60;       // input ends too early
constexpr int DER_UNEXPECTED_TAG = -0x62;
constexpr int DER_INVALID_LENGTH = -0x64;    // invalid length or integer encoding
constexpr int DER_LENGTH_MISMATCH = -0x66;   // element does not end where its container ends

constexpr std::uint8_t DER_BOOLEAN = 0x01;
constexpr std::uint8_t DER_INTEGER = 0x02;
constexpr std::uint8_t DER_BIT_STRING = 0x03;
constexpr std::uint8_t DER_OCTET_STRING = 0x04;
constexpr std::uint8_t DER_OID = 0x06;
constexpr std::uint8_t DER_SEQUENCE = 0x30;
constexpr std::uint8_t DER_SET = 0x31;

// A reference to one element inside a caller-owned buffer: its tag, the length of what p points
// to and the bytes themselves. It owns nothing; the buffer must outlive it.
struct DerBuffer {
    std::uint32_t tag;
    std::uint64_t length;
    const std::uint8_t* p;
};

// Every primitive reads at cursor, never at or past end, and advances cursor past what it read.
// On failure cursor is left somewhere inside [cursor, end] and the outputs are unspecified.

// Reads a definite length of one to four length bytes. The length must fit in the bytes left
// after the length field.
int read_length(const std::uint8_t*& cursor, const std::uint8_t* end, std::size_t& length) noexcept;

// Reads the tag byte, which must equal tag, then the length.
int read_tag(const std::uint8_t*& cursor, const std::uint8_t* end, std::uint8_t tag,
             std::size_t& length) noexcept;

// Reads a non-negative INTEGER of at most 31 significant bits.
int read_int(const std::uint8_t*& cursor, const std::uint8_t* end, int& value) noexcept;

// Reads the header of a non-empty SEQUENCE and the OID that opens it: SEQUENCE { OID, ... }.
// sequence_end is where the SEQUENCE ends; the cursor stands after the OID.
int read_oid_sequence(const std::uint8_t*& cursor, const std::uint8_t* end, DerBuffer& oid,
                      const std::uint8_t*& sequence_end) noexcept;

// Reads an AlgorithmIdentifier: SEQUENCE { OID, optional parameters }. Without parameters,
// params is (tag 0, length 0, null). The cursor ends after the SEQUENCE.
int read_algorithm(const std::uint8_t*& cursor, const std::uint8_t* end, DerBuffer& oid,
                   DerBuffer& params) noexcept;

}  // namespace vlrp11
