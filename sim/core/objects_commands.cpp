// Commands 18 (list the directory), 50 (read a file chunk), 72 (delete an entry) and 74 (write a
// file chunk), and the table of every object, key and cipher command.
#include "core/object_handlers.h"
#include "core/objects_store.h"

namespace vlrp11::sim {
namespace {

ObjectStore& store_of(CommandContext& context) { return *context.partition.objects; }

bool user_logged_in(const CommandContext& context) {
    return context.login_state == login_user || context.login_state == login_user_ro;
}

// Private objects and keys change only under a read-write user; public files under any login
// but the read-only user, or none (a read-write public session may create public objects).
bool may_change(const CommandContext& context, bool public_file) {
    if (public_file) return context.login_state != login_user_ro;
    return context.login_state == login_user;
}

const CommandEntry kObjectCommands[] = {
    {18, Access::anyone, list_objects},
    {50, Access::anyone, read_object},
    {66, Access::writer, generate_key},
    {68, Access::writer, write_key},
    {72, Access::anyone, delete_object},
    {74, Access::anyone, write_object},
    {80, Access::user, get_key_info},
    {82, Access::user, read_public_key},
    {84, Access::user, private_key_operation},
    {96, Access::user, derive},
    {112, Access::user, encrypt_16},
    {113, Access::user, decrypt_16},
    {120, Access::user, encrypt_8},
    {121, Access::user, decrypt_8},
    {241, Access::user, get_key_attribute},
};

}  // namespace

std::span<const CommandEntry> object_commands() { return kObjectCommands; }

std::uint8_t list_objects(CommandContext& context, Request request, Reply& reply) {
    if (!request.empty()) return status::bad_length;
    reply = list_directory(store_of(context));
    return status::ok;
}

// Reply: state, head, chunk length (u16 LE), chunk.
std::uint8_t read_object(CommandContext& context, Request request, Reply& reply) {
    if (request.size() != 1) return status::bad_length;
    const ObjectStore& store = store_of(context);
    if (request[0] >= store.capacity) return status::bad_argument;
    const DirectoryEntry& entry = store.entries[request[0]];
    if (entry.free()) return status::not_found;
    if (!entry.is_file()) return status::bad_argument;
    if (!entry.is_public() && !user_logged_in(context)) return status::access_denied;
    std::size_t length = entry.data.size();
    reply = {entry.state, entry.head, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
    reply.insert(reply.end(), entry.data.begin(), entry.data.end());
    return status::ok;
}

std::uint8_t delete_object(CommandContext& context, Request request, Reply&) {
    if (request.size() != 1) return status::bad_length;
    ObjectStore& store = store_of(context);
    if (request[0] >= store.capacity) return status::bad_argument;
    const DirectoryEntry& entry = store.entries[request[0]];
    if (entry.free()) return status::not_found;
    if (!may_change(context, entry.is_file() && entry.is_public())) return status::access_denied;
    erase_entry(store, request[0]);
    context.objects_changed = true;
    return status::ok;
}

// Request: index, state, head, chunk length (u16 LE), chunk.
std::uint8_t write_object(CommandContext& context, Request request, Reply&) {
    if (request.size() < 5) return status::bad_length;
    std::size_t length = request[3] | request[4] << 8;
    if (length != request.size() - 5) return status::bad_length;
    if (!may_change(context, (request[1] & 0x0F) == 0x0C)) return status::access_denied;
    std::uint8_t result = write_chunk(store_of(context), request[0], request[1], request[2], request.subspan(5));
    if (result == status::ok) context.objects_changed = true;
    return result;
}

}  // namespace vlrp11::sim
