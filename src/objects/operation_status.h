#pragma once

#include <cstdint>

namespace vlrp11 {

// Results of the operation routines of this layer beside the device's own statuses, which pass
// through unchanged.
enum OperationStatus : std::uint32_t {
    OPERATION_OUTPUT_TOO_SHORT = 6,
    OPERATION_BAD_LENGTH = 45,        // a length the command cannot carry, or a reply of another length
    OPERATION_WRONG_KEY_KIND = 53,       // the key is not of the kind the operation needs
    OPERATION_ENCODING_FAILED = 209,  // the hash does not fit a PKCS#1 v1.5 block of the key's size
    OPERATION_DECRYPTED_BLOCK_INVALID = 217,
    OPERATION_MESSAGE_TOO_LARGE = 218,
    OPERATION_WRAPPED_KEY_INVALID = 219,
};

}  // namespace vlrp11
