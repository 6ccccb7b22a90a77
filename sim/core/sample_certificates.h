// X.509 certificates for the objects provisioned on simulated devices, made with OpenSSL.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vlrp11::sim {

struct CertificateRequest {
    EVP_PKEY* subject_key = nullptr;  // the key certified; it also signs (self-signed)
    std::string common_name;
    std::uint32_t serial = 1;
    std::size_t total_bytes = 0;      // nonzero: padded to exactly this size with a comment extension
};

struct SampleCertificate {
    std::vector<std::uint8_t> der;             // empty on failure
    std::vector<std::uint8_t> key_identifier;  // the subject key identifier (SHA-1 of the public key)
};

// A v3 certificate, ECDSA or RSA with SHA-256, valid for ten years from now, with subject and
// authority key identifiers and basic constraints.
SampleCertificate make_sample_certificate(const CertificateRequest& request);

}  // namespace vlrp11::sim
