#include "core/sample_certificates.h"

#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <memory>

namespace vlrp11::sim {
namespace {

struct X509Delete { void operator()(X509* p) const { X509_free(p); } };
using X509Ptr = std::unique_ptr<X509, X509Delete>;

bool add_extension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    bool added = extension != nullptr && X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

X509Ptr build(const CertificateRequest& request, std::size_t comment_bytes) {
    X509Ptr certificate(X509_new());
    if (!certificate) return nullptr;
    X509* x = certificate.get();
    X509_NAME* name = X509_get_subject_name(x);
    bool ok = X509_set_version(x, X509_VERSION_3) == 1 &&
              ASN1_INTEGER_set(X509_get_serialNumber(x), static_cast<long>(request.serial)) == 1 &&
              X509_gmtime_adj(X509_getm_notBefore(x), 0) != nullptr &&
              X509_gmtime_adj(X509_getm_notAfter(x), 10L * 365 * 24 * 3600) != nullptr &&
              X509_set_pubkey(x, request.subject_key) == 1 &&
              X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                         reinterpret_cast<const unsigned char*>("KESTRELWORKSHOP samples"), -1, -1, 0) == 1 &&
              X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                         reinterpret_cast<const unsigned char*>(request.common_name.c_str()), -1, -1,
                                         0) == 1 &&
              X509_set_issuer_name(x, name) == 1 && add_extension(x, NID_subject_key_identifier, "hash") &&
              add_extension(x, NID_authority_key_identifier, "keyid:always") &&
              add_extension(x, NID_basic_constraints, "critical,CA:FALSE") &&
              (comment_bytes == 0 || add_extension(x, NID_netscape_comment, std::string(comment_bytes, 'x'))) &&
              X509_sign(x, request.subject_key, EVP_sha256()) > 0;
    return ok ? std::move(certificate) : nullptr;
}

std::vector<std::uint8_t> encode(X509* certificate) {
    int length = i2d_X509(certificate, nullptr);
    if (length <= 0) return {};
    std::vector<std::uint8_t> der(static_cast<std::size_t>(length));
    unsigned char* p = der.data();
    i2d_X509(certificate, &p);
    return der;
}

}  // namespace

SampleCertificate make_sample_certificate(const CertificateRequest& request) {
    // The comment's length fields and the ECDSA signature's length vary by a byte or two, so
    // the padding is adjusted (and the certificate signed again) until the size comes out exact.
    long comment = 0;
    X509Ptr certificate = build(request, 0);
    for (int attempt = 0; certificate && request.total_bytes != 0 && attempt < 32; ++attempt) {
        long size = static_cast<long>(encode(certificate.get()).size());
        if (size == static_cast<long>(request.total_bytes)) break;
        comment = std::max(1L, comment + static_cast<long>(request.total_bytes) - size);
        certificate = build(request, static_cast<std::size_t>(comment));
    }
    SampleCertificate result;
    if (!certificate) return result;
    result.der = encode(certificate.get());
    if (request.total_bytes != 0 && result.der.size() != request.total_bytes) result.der.clear();
    const ASN1_OCTET_STRING* identifier = X509_get0_subject_key_id(certificate.get());
    if (identifier)
        result.key_identifier.assign(ASN1_STRING_get0_data(identifier),
                                     ASN1_STRING_get0_data(identifier) + ASN1_STRING_length(identifier));
    return result;
}

}  // namespace vlrp11::sim
