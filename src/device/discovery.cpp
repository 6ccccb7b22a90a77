#include "device/discovery.h"

#include "device/connect.h"
#include "device/device_connection.h"
#include "device/platform_context.h"
#include "platform/pcsc.h"
#include "platform/sockets.h"

#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

// A multi-string: the group name and the empty string that ends the list.
constexpr char all_readers_group[] = "SCard$AllReaders\0";

const char* reader_prefix(DeviceKind kind)
{
    return kind == DEVICE_TOKEN ? "KESTRELWORKSHOP VELLARO token" : "KESTRELWORKSHOP VELLARO HSM";
}

// The readers as a multi-string of `length` bytes and one more NUL, which the caller frees; or
// null.
char* list_readers(const PcscFunctions& api, PcscContext context, std::uint32_t& length, PcscOutcome& outcome)
{
    outcome = PCSC_NOT_FOUND;
    length = 0;
    PcscResult result = api.list_readers(context, all_readers_group, nullptr, &length);
    if (result == PCSC_E_NO_SERVICE)
        outcome = PCSC_SERVICE_GONE;
    if (result != PCSC_SUCCESS || length == 0)
        return nullptr;
    std::uint32_t capacity = length;
    auto* names = static_cast<char*>(std::calloc(capacity + 1, 1));
    if (names == nullptr)
        return nullptr;
    result = api.list_readers(context, all_readers_group, names, &length);
    length = length < capacity ? length : capacity;
    if (result == PCSC_E_NO_SERVICE)
        outcome = PCSC_SERVICE_GONE;
    if (result != PCSC_SUCCESS || names[0] == '\0') {
        std::free(names);
        return nullptr;
    }
    return names;
}

}  // namespace

bool pcsc_context_valid() noexcept
{
    PcscContext context = platform_context().pcscContext;
    const PcscFunctions* api = pcsc();
    return context != 0 && api != nullptr && api->is_valid_context(context) == PCSC_SUCCESS;
}

void release_pcsc_context() noexcept
{
    PcscContext& context = platform_context().pcscContext;
    if (context != 0) {
        if (const PcscFunctions* api = pcsc())
            api->release_context(context);
    }
    context = 0;
}

// The list ends at its first empty name or at its reported length, whichever comes first; the
// NUL kept after that length ends the last name even when the service leaves it unterminated.
PcscOutcome find_reader(unsigned n, DeviceKind kind, char (&name)[READER_NAME_CAPACITY]) noexcept
{
    if (platform_context().pcscContext == 0)
        ensure_platform();
    PcscContext context = platform_context().pcscContext;
    const PcscFunctions* api = pcsc();
    if (context == 0 || api == nullptr)
        return PCSC_NOT_FOUND;
    PcscOutcome outcome;
    std::uint32_t names_length = 0;
    char* names = list_readers(*api, context, names_length, outcome);
    if (names == nullptr)
        return outcome;
    const char* prefix = reader_prefix(kind);
    std::size_t prefix_length = std::strlen(prefix);
    unsigned matches = 0;
    outcome = PCSC_NOT_FOUND;
    const char* end = names + names_length;
    for (const char* reader = names; reader < end && *reader != '\0'; reader += std::strlen(reader) + 1) {
        std::size_t length = std::strlen(reader);
        if (length >= sizeof name || std::strncmp(reader, prefix, prefix_length) != 0)
            continue;
        if (matches++ == n) {
            std::memcpy(name, reader, length + 1);
            outcome = PCSC_FOUND;
            break;
        }
    }
    std::free(names);
    return outcome;
}

PcscOutcome connect_reader(const char* name, DeviceKind kind, std::int32_t instance,
                           ConnectionPtr& connection) noexcept
{
    connection.reset();
    PcscContext context = platform_context().pcscContext;
    const PcscFunctions* api = pcsc();
    if (context == 0 || api == nullptr)
        return PCSC_NOT_FOUND;
    PcscCard card = 0;
    std::uint32_t protocol = 0;
    PcscResult result = api->connect(context, name, PCSC_SHARE_SHARED, PCSC_PROTOCOL_T1, &card, &protocol);
    if (result == PCSC_E_NO_SERVICE)
        return PCSC_SERVICE_GONE;
    if (result != PCSC_SUCCESS)
        return PCSC_NOT_FOUND;
    connection = connect_pcsc(card, kind, instance);
    if (!connection) {
        api->disconnect(card, PCSC_LEAVE_CARD);
        return PCSC_NOT_FOUND;
    }
    return PCSC_FOUND;
}

bool connection_alive(const DeviceConnection& connection) noexcept
{
    if (connection.kind == DEVICE_NETWORK_HSM)
        return socket_alive(connection.handle);
    const PcscFunctions* api = pcsc();
    if (api == nullptr)
        return false;
    char reader[READER_NAME_CAPACITY];
    std::uint32_t reader_length = sizeof reader;
    std::uint8_t atr[32];
    std::uint32_t atr_length = sizeof atr;
    std::uint32_t state = 0;
    std::uint32_t protocol = 0;
    return api->status(connection.handle, reader, &reader_length, &state, &protocol, atr, &atr_length) ==
           PCSC_SUCCESS;
}

}  // namespace vlrp11
