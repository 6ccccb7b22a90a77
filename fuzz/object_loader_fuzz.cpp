// Plays a device whose object replies are the fuzzer's bytes: the directory, the file chunks,
// key headers and public keys. Loads whatever the replies describe, then asks every loaded
// object (and its public view) for each attribute the tables know.
#include "device/device_connection.h"
#include "objects/attributes.h"
#include "objects/token_objects.h"
#include "vlrp11/pkcs11_vendor.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

const std::uint8_t* g_cursor;
const std::uint8_t* g_end;

// Each reply: a status byte, a u16 length, then that many bytes (as many as are left).
std::uint32_t transport(vlrp11::DeviceConnection*, std::uint8_t, const std::uint8_t*, std::uint32_t,
                        std::uint8_t* reply, std::uint32_t* length)
{
    if (g_end - g_cursor < 3)
        return 2;
    std::uint8_t status = g_cursor[0];
    std::size_t wanted = g_cursor[1] | g_cursor[2] << 8;
    g_cursor += 3;
    std::size_t available = static_cast<std::size_t>(g_end - g_cursor);
    std::size_t n = wanted < available ? wanted : available;
    if (reply == nullptr || n > *length)
        return 7;
    std::memcpy(reply, g_cursor, n);
    *length = static_cast<std::uint32_t>(n);
    g_cursor += n;
    return status;
}

constexpr CK_ATTRIBUTE_TYPE attributes[] = {
    CKA_CLASS, CKA_LABEL, CKA_ID, CKA_UNIQUE_ID, CKA_VALUE, CKA_KEY_TYPE, CKA_SUBJECT, CKA_ISSUER,
    CKA_SERIAL_NUMBER, CKA_HASH_OF_SUBJECT_PUBLIC_KEY, CKA_NAME_HASH_ALGORITHM, CKA_CHECK_VALUE,
    CKA_START_DATE, CKA_END_DATE, CKA_PUBLIC_KEY_INFO, CKA_EC_PARAMS, CKA_EC_POINT, CKA_MODULUS,
    CKA_MODULUS_BITS, CKA_PUBLIC_EXPONENT, CKA_KEY_DEVICE_DATA, CKA_VALUE_LEN,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vlrp11;
    g_cursor = data;
    g_end = data + size;
    DeviceConnection connection{};
    connection.kind = DEVICE_TOKEN;
    connection.login_state = LOGGED_IN_USER;
    connection.transport = transport;
    ObjectTable table{};
    refresh_token_objects(connection, table, true);
    ObjectContext context{&connection, &table, nullptr};
    static std::uint8_t buffer[8192];
    for (CK_OBJECT_HANDLE index = 1; index <= OBJECTS_PER_TABLE; ++index) {
        for (CK_OBJECT_HANDLE handle : {index, index | PUBLIC_VIEW_BIT}) {
            for (CK_ATTRIBUTE_TYPE type : attributes) {
                CK_ATTRIBUTE entry{type, buffer, sizeof buffer};
                get_attribute(context, handle, entry);
            }
        }
    }
    release_table(table);
    return 0;
}
