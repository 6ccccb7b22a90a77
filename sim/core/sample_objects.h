// The objects a demo device carries from the start, so that a PKCS#11 client lists something
// real: on the token a public data object, a certificate chained over three directory entries,
// an EC P-256 key pair with its certificate and a DSTU 4145 key; on each HSM partition an EC
// P-256 key pair with its certificate, and on partition 0 also an RSA key and an AES key.
#pragma once

#include "core/device.h"

#include <string>

namespace vlrp11::sim {

// Directory indexes the samples occupy on the token; the HSM partitions use the top entries the
// same way.
inline constexpr std::uint8_t kSampleDataIndex = 63;
inline constexpr std::uint8_t kSampleLongCertificateHead = 62;  // and 61, 60
inline constexpr std::size_t kSampleLongCertificateBytes = 5000;

bool provision_sample_objects(Device& device, std::string& error);

}  // namespace vlrp11::sim
