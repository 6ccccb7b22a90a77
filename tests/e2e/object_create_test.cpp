// Creation and destruction of objects against the simulator's device core: what the device's
// directory holds afterwards, what the library reads back from it, and what a connection cut in
// the middle of a chained write or delete leaves behind.
#include "support/device_objects.h"
#include "support/logged_in_token.h"

#include "core/provisioning.h"
#include "core/sample_certificates.h"
#include "device/command_codes.h"
#include "objects/certificate.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"
#include "objects/support/openssl_certificates.h"
#include "vlrp11/pkcs11_vendor.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace vlrp11::testing {
namespace {

Bytes pattern(std::size_t length)
{
    Bytes value(length);
    for (std::size_t i = 0; i < length; ++i)
        value[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return value;
}

sim::SampleCertificate sample_certificate()
{
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    sim::SampleCertificate certificate = sim::make_sample_certificate({key, "Created", 9});
    EVP_PKEY_free(key);
    return certificate;
}

unsigned used_entries(const Directory& directory)
{
    unsigned used = 0;
    for (unsigned i = 0; i < directory.count; ++i)
        used += !entry_free(directory.entries[i]);
    return used;
}

using ObjectCreation = DeviceObjects;

TEST_P(ObjectCreation, TokenFileChainsDownFromTheHighestFreeEntry)
{
    Bytes value = pattern(2000);
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, value, "chained"), handle), CKR_OK);
    EXPECT_EQ(handle, 1u);
    EXPECT_EQ(tokens[0]->deviceIndex, 63);

    // 104 + 2000 bytes: 2040 at the head, 64 in the next entry down, both naming the head.
    Directory listing = directory();
    EXPECT_EQ(used_entries(listing), 2u);
    for (unsigned index : {63u, 62u}) {
        EXPECT_EQ(listing.entries[index].state, 0x83) << index;
        EXPECT_EQ(listing.entries[index].head, 63) << index;
    }
    EXPECT_EQ(listing.entries[63].unused[0] | listing.entries[63].unused[1] << 8, 2040);
    EXPECT_EQ(listing.entries[62].unused[0] | listing.entries[62].unused[1] << 8, 64);

    ASSERT_EQ(reload(), 1u);
    EXPECT_EQ(attribute(1, CKA_VALUE), value);
    EXPECT_EQ(attribute(1, CKA_LABEL), Bytes({'c', 'h', 'a', 'i', 'n', 'e', 'd'}));
    EXPECT_EQ(tokens[0]->header.keyKind, 0xFF);
}

TEST_P(ObjectCreation, CertificatesTakeTheirSubjectKeyIdentifierAsId)
{
    sim::SampleCertificate certificate = sample_certificate();
    ASSERT_EQ(certificate.key_identifier.size(), 20u);
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_CERTIFICATE, true, certificate.der), handle),
              CKR_OK);
    EXPECT_EQ(attribute(handle, CKA_ID), certificate.key_identifier);
    ASSERT_EQ(reload(), 1u);
    EXPECT_EQ(attribute(1, CKA_ID), certificate.key_identifier);
    EXPECT_EQ(attribute(1, CKA_VALUE), certificate.der);
}

TEST_P(ObjectCreation, RefusalsWriteNothing)
{
    sim::SampleCertificate certificate = sample_certificate();
    Bytes v1_certificate(std::begin(test::CERT_EC_V1), std::end(test::CERT_EC_V1));
    Bytes key16(16, 0x11), key32(32, 0x22), key40(40, 0x33), key31(31, 0x44);
    auto secret = [](std::uint8_t kind, const Bytes& key) {
        CreationDescriptor descriptor = descriptor_for(CKO_SECRET_KEY, true, key);
        descriptor.header.keyKind = kind;
        return descriptor;
    };
    CreationDescriptor other_id = descriptor_for(CKO_CERTIFICATE, true, certificate.der);
    other_id.header.idLength = 20;
    CreationDescriptor user_certificate = descriptor_for(CKO_CERTIFICATE, true, certificate.der);
    user_certificate.header.flags = 1;
    Bytes junk = pattern(300);
    struct Case {
        const char* what;
        CreationDescriptor descriptor;
        CK_RV expected;
    };
    const Case cases[] = {
        {"no value", descriptor_for(CKO_DATA, true, {}), CKR_TEMPLATE_INCOMPLETE},
        {"token object without class", descriptor_for(CLASS_ABSENT, true, key16), CKR_ATTRIBUTE_VALUE_INVALID},
        {"token private key", descriptor_for(CKO_PRIVATE_KEY, true, key16), CKR_ATTRIBUTE_VALUE_INVALID},
        {"AES of 40 bytes", secret(KEY_KIND_AES, key40), CKR_ATTRIBUTE_VALUE_INVALID},
        {"Kalyna-512 of 32 bytes", secret(KEY_KIND_KALYNA_512, key32), CKR_ATTRIBUTE_VALUE_INVALID},
        {"GOST of 31 bytes", secret(KEY_KIND_GOST28147, key31), CKR_ATTRIBUTE_VALUE_INVALID},
        {"secret key of kind 1", secret(KEY_KIND_EC, key32), CKR_ATTRIBUTE_VALUE_INVALID},
        {"certificate that does not parse", descriptor_for(CKO_CERTIFICATE, true, junk), CKR_ATTRIBUTE_VALUE_INVALID},
        {"certificate without identifier", descriptor_for(CKO_CERTIFICATE, true, v1_certificate),
         CKR_ATTRIBUTE_VALUE_INVALID},
        {"certificate whose ID is not its identifier", other_id, CKR_ATTRIBUTE_VALUE_INVALID},
        {"token-user certificate without its key", user_certificate, CKR_DEVICE_ERROR},
    };
    for (const Case& c : cases) {
        deviceError = 0;
        CK_OBJECT_HANDLE handle = 99;
        CommandRecorder recorder(*connection);
        EXPECT_EQ(create_object(context(), deviceError, c.descriptor, handle), c.expected) << c.what;
        EXPECT_EQ(handle, 0u) << c.what;
        EXPECT_TRUE(recorder.sent.empty()) << c.what;
        EXPECT_EQ(deviceError, c.expected == CKR_DEVICE_ERROR ? 300u : 0u) << c.what;
    }
    EXPECT_EQ(used_entries(directory()), 0u);
    EXPECT_EQ(std::count(std::begin(tokens), std::end(tokens), nullptr), 64);
}

TEST_P(ObjectCreation, SessionObjectsStayInTheHost)
{
    Bytes data = pattern(40);
    Bytes aes(16, 0x5A), kalyna(64, 0xA5), gost(32, 0x3C);
    CommandRecorder recorder(*connection);
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CLASS_ABSENT, false, data), handle), CKR_OK);
    EXPECT_EQ(handle, 0x8001u);
    Bytes object_class = attribute(handle, CKA_CLASS);
    CK_ULONG class_value = 0;
    std::memcpy(&class_value, object_class.data(), sizeof class_value);
    EXPECT_EQ(class_value, CK_ULONG{0xFFFFFFFF});

    struct Key {
        std::uint8_t kind;
        const Bytes& value;
        std::uint32_t scheduleBytes;
    };
    for (const Key& key : {Key{KEY_KIND_AES, aes, 496}, Key{KEY_KIND_KALYNA_256, kalyna, 2480},
                           Key{KEY_KIND_GOST28147, gost, 0}}) {
        CreationDescriptor descriptor = descriptor_for(CKO_SECRET_KEY, false, key.value);
        descriptor.header.keyKind = key.kind;
        ASSERT_EQ(create_object(context(), deviceError, descriptor, handle), CKR_OK) << int{key.kind};
        ObjectRecord& record = *sessionObjects[(handle & 0x7FFF) - 1];
        EXPECT_EQ(record.cacheLength, key.scheduleBytes) << int{key.kind};
        EXPECT_EQ(record.header.secretKeyLength, key.value.size());
        EXPECT_EQ(Bytes(record.value, record.value + record.valueLength), key.value);
    }
    EXPECT_TRUE(recorder.sent.empty());
}

TEST_P(ObjectCreation, TokenSecretKeyLivesOnlyOnTheDevice)
{
    Bytes key(32, 0x42);
    CreationDescriptor descriptor = descriptor_for(CKO_SECRET_KEY, true, key);
    descriptor.header.keyKind = KEY_KIND_AES;
    descriptor.header.flags = KEY_FLAG_EXTRACTABLE;
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor, handle), CKR_OK);
    const ObjectRecord& record = *tokens[0];
    EXPECT_EQ(record.deviceIndex, 0);
    EXPECT_EQ(record.value, nullptr);
    EXPECT_EQ(header_parameter(record.header), 0xFFFF);
    EXPECT_EQ(directory().entries[0].state, 0x33);
    ASSERT_EQ(reload(), 1u);
    EXPECT_EQ(tokens[0]->objectClass, CKO_SECRET_KEY);
    EXPECT_EQ(tokens[0]->header.secretKeyLength, 32);
    Bytes value;
    EXPECT_EQ(get(1, CKA_VALUE, value), CKR_ATTRIBUTE_SENSITIVE);
}

TEST_P(ObjectCreation, DestroyTakesEveryChunkOffTheDevice)
{
    Bytes value = pattern(5000);
    CK_OBJECT_HANDLE kept = 0, handle = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, pattern(10)), kept), CKR_OK);
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, value), handle), CKR_OK);
    EXPECT_EQ(used_entries(directory()), 4u);
    ASSERT_EQ(destroy_object(context(), deviceError, handle), CKR_OK);
    EXPECT_EQ(used_entries(directory()), 1u);
    EXPECT_EQ(destroy_object(context(), deviceError, handle), CKR_OBJECT_HANDLE_INVALID);
    ASSERT_EQ(reload(), 1u);
    EXPECT_EQ(attribute(1, CKA_VALUE), pattern(10));
}

TEST_P(ObjectCreation, FailedDeleteKeepsTheHeadAndTheRecord)
{
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, pattern(5000)), handle), CKR_OK);
    simulated->device->faults().answer_status_once(17, CMD_DELETE_OBJECT);
    EXPECT_EQ(destroy_object(context(), deviceError, handle), CKR_DEVICE_ERROR);
    EXPECT_EQ(deviceError, 17u);
    Directory listing = directory();
    EXPECT_FALSE(entry_free(listing.entries[63]));
    EXPECT_NE(tokens[0], nullptr);
    ASSERT_EQ(destroy_object(context(), deviceError, handle), CKR_OK);
    EXPECT_EQ(used_entries(directory()), 0u);
}

TEST_P(ObjectCreation, PrivateKeyTakesItsCertificatesAlong)
{
    sim::SampleCertificate certificate = sample_certificate();
    std::string error;
    ASSERT_TRUE(simulated->device->provision_objects(
        0,
        [&](sim::ObjectStore& store) {
            return !sim::place_key_pair(store, 5, sim::object_header(1, 0, 4, 0, certificate.key_identifier, "key"))
                        .empty() &&
                   !sim::place_key_pair(store, 6, sim::object_header(1, 0, 4, 0, {}, "other")).empty();
        },
        error))
        << error;
    ASSERT_EQ(reload(), 2u);
    CK_OBJECT_HANDLE mine = 0, unrelated = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_CERTIFICATE, true, certificate.der), mine),
              CKR_OK);
    CreationDescriptor user = descriptor_for(CKO_CERTIFICATE, true, certificate.der);
    user.header.flags = 1;  // a token-user certificate: its key is on the token
    ASSERT_EQ(create_object(context(), deviceError, user, unrelated), CKR_OK);
    CK_OBJECT_HANDLE data = 0;
    ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, pattern(3)), data), CKR_OK);
    EXPECT_EQ(used_entries(directory()), 5u);

    CK_OBJECT_HANDLE key = tokens[0]->header.idLength == 20 ? 1 : 2;
    // The public view goes alone and touches nothing on the device.
    ASSERT_EQ(destroy_object(context(), deviceError, key | PUBLIC_VIEW_BIT), CKR_OK);
    EXPECT_EQ(destroy_object(context(), deviceError, key | PUBLIC_VIEW_BIT), CKR_OBJECT_HANDLE_INVALID);
    EXPECT_EQ(used_entries(directory()), 5u);
    ASSERT_EQ(destroy_object(context(), deviceError, key), CKR_OK);
    EXPECT_EQ(used_entries(directory()), 2u);
    EXPECT_EQ(reload(), 2u);
}

TEST_P(ObjectCreation, FullDirectoryRefusesBeforeWriting)
{
    // Fill all but one entry: 63 × 2040 bytes less one header.
    CK_OBJECT_HANDLE handle = 0;
    Bytes big = pattern(63 * 2040 - 104);
    CreationDescriptor filler = descriptor_for(CKO_DATA, true, big);
    // A creation template caps values at 65534 bytes; the object layer takes what it is given.
    ASSERT_EQ(create_object(context(), deviceError, filler, handle), CKR_OK);
    EXPECT_EQ(used_entries(directory()), 63u);

    CommandRecorder recorder(*connection);
    EXPECT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, pattern(1937)), handle),
              CKR_DEVICE_MEMORY);
    EXPECT_EQ(handle, 0u);
    ASSERT_EQ(recorder.sent.size(), 1u);
    EXPECT_EQ(recorder.sent[0].code, CMD_LIST_OBJECTS);
    EXPECT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, pattern(1936)), handle), CKR_OK);
    EXPECT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, pattern(1)), handle),
              CKR_DEVICE_MEMORY);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ObjectCreation, ::testing::ValuesIn(all_kinds), kind_test_name);

// A connection cut after a given number of answered commands, on the network HSM, whose
// transport the simulator can cut. After the device comes back from its state directory, the
// library sees the object whole or not at all.
class CutConnection : public DeviceObjects {};

TEST_P(CutConnection, ChainedWriteLeavesAllOrNothing)
{
    Bytes value = pattern(5000);  // the listing, then three chunks
    for (unsigned answered = 0; answered <= 4; ++answered) {
        SCOPED_TRACE(answered);
        cut_after(answered);
        CK_OBJECT_HANDLE handle = 0;
        CK_RV rv = create_object(context(), deviceError, descriptor_for(CKO_DATA, true, value), handle);
        EXPECT_EQ(rv, answered == 4 ? CKR_OK : CKR_DEVICE_ERROR);
        restart();
        // The last chunk took effect even when its answer was lost: the object is whole.
        unsigned loaded = reload();
        EXPECT_EQ(loaded, answered >= 3 ? 1u : 0u);
        if (loaded == 1) {
            EXPECT_EQ(attribute(1, CKA_VALUE), value);
            ASSERT_EQ(destroy_object(context(), deviceError, 1), CKR_OK);
        }
        // Whatever a cut write left on the device is not an object and does not stand in the
        // way of the next one.
        release_table(tokens);
        Bytes again = pattern(4000);
        ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, again), handle), CKR_OK);
        ASSERT_EQ(reload(), 1u);
        EXPECT_EQ(attribute(1, CKA_VALUE), again);
        ASSERT_EQ(destroy_object(context(), deviceError, 1), CKR_OK);
        release_table(tokens);
    }
}

TEST_P(CutConnection, DestroyLeavesAllOrNothing)
{
    Bytes value = pattern(5000);  // the listing, then three deletes
    for (unsigned answered = 0; answered <= 3; ++answered) {
        SCOPED_TRACE(answered);
        CK_OBJECT_HANDLE handle = 0;
        ASSERT_EQ(create_object(context(), deviceError, descriptor_for(CKO_DATA, true, value), handle), CKR_OK);
        cut_after(answered);
        EXPECT_EQ(destroy_object(context(), deviceError, handle), CKR_DEVICE_ERROR);
        EXPECT_NE(tokens[0], nullptr);
        restart();
        unsigned loaded = reload();
        if (loaded != 0) {
            ASSERT_EQ(loaded, 1u);
            EXPECT_EQ(attribute(1, CKA_VALUE), value);
        }
        // A cut before the first delete keeps the whole object, which can then go.
        EXPECT_EQ(loaded, answered == 0 ? 1u : 0u);
        if (loaded == 1) {
            ASSERT_EQ(destroy_object(context(), deviceError, 1), CKR_OK);
        }
        release_table(tokens);
    }
}

INSTANTIATE_TEST_SUITE_P(NetworkHsm, CutConnection, ::testing::Values(sim::DeviceKind::network_hsm), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
