#pragma once

#include <array>
#include <cstdint>

// Constant tables of the DSTU 7624 round function. Kupyna (DSTU 7564) and the Kalyna block
// cipher share them: both substitute byte row r of a column through S-box r mod 4 and then
// multiply the column by the circulant MDS matrix with first row 01 01 05 01 08 06 07 04 over
// GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1. Read-only, so any number of threads may use them.

namespace vlrp11 {

// The four DSTU 7624 S-boxes; row r of the state uses kupyna_sboxes[r % 4].
extern const std::array<std::array<std::uint8_t, 256>, 4> kupyna_sboxes;

// kupyna_t_tables[r][x] is the contribution of byte x in row r to its column after SubBytes and
// MixColumns: output row k in bits 8k..8k+7. One full round of a 64-bit column (little-endian,
// row 0 in the low byte) is then eight lookups and XORs,
//   column = T[0][b0] ^ T[1][b1] ^ ... ^ T[7][b7],
// where bk is the byte of row k after the row shifts.
extern const std::array<std::array<std::uint64_t, 256>, 8> kupyna_t_tables;

// The inverses for the Kalyna inverse cipher: the four inverse S-boxes, and tables built like
// kupyna_t_tables from them and the inverse MDS matrix (first row ad 95 76 a8 2f 49 d7 ca).
extern const std::array<std::array<std::uint8_t, 256>, 4> kalyna_inverse_sboxes;
extern const std::array<std::array<std::uint64_t, 256>, 8> kalyna_inverse_t_tables;

}  // namespace vlrp11
