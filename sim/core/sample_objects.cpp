#include "core/sample_objects.h"

#include "core/crypto_openssl.h"
#include "core/keys_openssl.h"
#include "core/keys_record.h"
#include "core/provisioning.h"
#include "core/sample_certificates.h"

#include <openssl/x509.h>

namespace vlrp11::sim {
namespace {

constexpr std::uint8_t kKindEc = 1;
constexpr std::uint8_t kKindDstu = 3;
constexpr std::uint8_t kKindRsa = 8;
constexpr std::uint8_t kKindAes = 11;
constexpr std::uint16_t kCurveP256 = 4;
constexpr std::uint16_t kCurveDstu257 = 33;
constexpr std::uint8_t kNoCategory = 0xFF;
constexpr std::uint8_t kCategoryTokenUser = 1;

const std::string kApplication = "vlrp11-sim";

Pkey ec_key_of(const std::vector<std::uint8_t>& sec1) {
    const unsigned char* p = sec1.data();
    return Pkey(d2i_PrivateKey(EVP_PKEY_EC, nullptr, &p, static_cast<long>(sec1.size())));
}

std::span<const std::uint8_t> bytes_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A P-256 key pair at `key_index` and its certificate at `certificate_index`, both with the
// certificate's subject key identifier as ID.
bool place_ec_pair_with_certificate(ObjectStore& store, std::uint8_t key_index, std::uint8_t certificate_index,
                                    std::uint8_t certificate_state, const std::string& name) {
    std::vector<std::uint8_t> material = ec_generate(kCurveP256);
    Pkey key = ec_key_of(material);
    SampleCertificate certificate = make_sample_certificate({key.get(), name, key_index});
    bool placed = !certificate.der.empty();
    if (placed) {
        KeyHeader key_header = object_header(kKindEc, kFlagLocal | kFlagDerive, kCurveP256, 0,
                                             certificate.key_identifier, name + " key", kApplication);
        store_key(store, key_index, key_header, material);
        KeyHeader certificate_header = object_header(0, kCategoryTokenUser, 0, 0, certificate.key_identifier,
                                                     name + " certificate", kApplication);
        placed = place_file(store, certificate_index, certificate_state, certificate_header, certificate.der);
    }
    wipe(material);
    return placed;
}

bool place_token_samples(ObjectStore& store) {
    KeyHeader data = object_header(0xFF, kNoCategory, 0, 0xFF, {}, "Sample data", kApplication);
    if (!place_file(store, kSampleDataIndex, kStatePublicData, data,
                    bytes_of("Public data object of the simulated token")))
        return false;

    Pkey long_key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    SampleCertificate long_certificate =
        make_sample_certificate({long_key.get(), "Sample long certificate", 2, kSampleLongCertificateBytes});
    KeyHeader long_header = object_header(0, kNoCategory, 0, 0, long_certificate.key_identifier,
                                          "Sample long certificate", kApplication);
    if (long_certificate.der.empty() ||
        !place_file(store, kSampleLongCertificateHead, kStatePublicCertificate, long_header, long_certificate.der))
        return false;

    if (!place_ec_pair_with_certificate(store, 59, 58, kStatePublicCertificate, "Sample EC P-256"))
        return false;
    KeyHeader dstu = object_header(kKindDstu, kFlagDerive, kCurveDstu257, 0, bytes_of("dstu4145-sample"),
                                   "Sample DSTU 4145 key", kApplication);
    return !place_key_pair(store, 57, dstu).empty();
}

bool place_partition_samples(ObjectStore& store, std::uint32_t partition) {
    std::string prefix = "Partition " + std::to_string(partition) + " EC P-256";
    // The library reads an HSM's directory only while a user is logged in, and then only its
    // private entries: a public certificate there would never be seen.
    if (!place_ec_pair_with_certificate(store, 63, 62, kStatePrivateCertificate, prefix))
        return false;
    if (partition != 0)
        return true;
    KeyHeader rsa = object_header(kKindRsa, 0, 2048, 0, bytes_of("rsa-sample"), "Partition 0 RSA 2048 key",
                                  kApplication);
    if (place_key_pair(store, 61, rsa).empty())
        return false;
    std::vector<std::uint8_t> aes(32);
    if (!random_bytes(aes))
        return false;
    KeyHeader secret = object_header(kKindAes, 0, 0xFFFF, 0, bytes_of("aes-sample"), "Partition 0 AES-256 key", kApplication);
    bool placed = place_secret_key(store, 60, secret, aes);
    wipe(aes);
    return placed;
}

}  // namespace

bool provision_sample_objects(Device& device, std::string& error) {
    if (device.profile().kind == DeviceKind::token)
        return device.provision_objects(0, place_token_samples, error);
    for (std::uint32_t partition = 0; partition < device.profile().partition_count; ++partition) {
        auto place = [partition](ObjectStore& store) { return place_partition_samples(store, partition); };
        if (!device.provision_objects(partition, place, error))
            return false;
    }
    return true;
}

}  // namespace vlrp11::sim
