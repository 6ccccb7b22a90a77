#include <chrono>

#include "core/device_impl.h"

namespace vlrp11::sim {
namespace {

bool allowed(Access access, int login_state)
{
    switch (access) {
    case Access::anyone:
        return true;
    case Access::logged_in:
        return login_state != login_none;
    case Access::user:
        return login_state == login_user || login_state == login_user_ro;
    case Access::writer:
        return login_state == login_user || login_state == login_so;
    case Access::so:
        return login_state == login_so;
    }
    return false;
}

const CoreEntry* find_core(std::uint8_t code)
{
    for (const CoreEntry& entry : core_commands()) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

const CommandEntry* find_object(std::uint8_t code)
{
    for (const CommandEntry& entry : object_commands()) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// A failure to make a change durable is reported instead of the command's own answer: the host
// must not take for done what a restart would lose.
void refuse_unsaved(CommandOutcome& outcome)
{
    outcome.status = status::internal_error;
    outcome.data.clear();
    outcome.after_reply = nullptr;
}

}  // namespace

std::uint32_t Device::Impl::device_time() const
{
    using namespace std::chrono;
    constexpr std::int64_t epoch_2020 = 1577836800;
    std::int64_t now = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(now - epoch_2020 + time_offset);
}

CommandOutcome Device::Impl::execute(ChannelState& channel, std::uint16_t channel_number,
                                     bool over_tcp, std::uint8_t code,
                                     std::span<const std::uint8_t> request)
{
    CommandOutcome outcome;
    CoreFaults::Decision fault = faults.take(code);
    outcome.corrupt_mac = fault.corrupt_mac;
    if (fault.answer_instead) {
        outcome.status = fault.status;
        return outcome;
    }
    const CoreEntry* core = find_core(code);
    const CommandEntry* object = core ? nullptr : find_object(code);
    if (!core && !object) {
        outcome.status = status::unknown_command;
        return outcome;
    }
    bool basic_channel = pcsc() && !over_tcp && channel_number == 0;
    if (basic_channel && !(core && core->on_basic_channel)) {
        outcome.status = status::no_channel;
        return outcome;
    }
    if (!allowed(core ? core->access : object->access, channel.login_state)) {
        outcome.status = status::access_denied;
        return outcome;
    }
    std::string error;
    if (core) {
        CoreCall call{*this, channel, channel_number, over_tcp, nullptr};
        outcome.status = core->handler(call, request, outcome.data);
        outcome.after_reply = std::move(call.after_reply);
        if (call.pins_changed && !save_core(error)) {
            refuse_unsaved(outcome);
        }
        return outcome;
    }
    CommandContext context{profile, partitions[channel.partition], channel.login_state, device_time()};
    context.device_key = device_key.get();
    outcome.status = object->handler(context, request, outcome.data);
    if (context.objects_changed && !save_objects(channel.partition, error)) {
        refuse_unsaved(outcome);
    }
    return outcome;
}

}  // namespace vlrp11::sim
