#include "core/device.h"

namespace vlrp11::sim {
namespace {

bool matches(int armed_code, std::uint8_t code)
{
    return armed_code == CoreFaults::any_command || armed_code == code;
}

}  // namespace

void CoreFaults::answer_busy(unsigned times, int code)
{
    std::lock_guard lock(mutex_);
    busy_times_ = times;
    busy_code_ = code;
}

void CoreFaults::answer_status_once(std::uint8_t status, int code)
{
    std::lock_guard lock(mutex_);
    status_armed_ = true;
    status_ = status;
    status_code_ = code;
}

void CoreFaults::corrupt_reply_mac_once(int code)
{
    std::lock_guard lock(mutex_);
    corrupt_armed_ = true;
    corrupt_code_ = code;
}

void CoreFaults::clear()
{
    std::lock_guard lock(mutex_);
    busy_times_ = 0;
    status_armed_ = false;
    corrupt_armed_ = false;
}

CoreFaults::Decision CoreFaults::take(std::uint8_t code)
{
    std::lock_guard lock(mutex_);
    Decision decision;
    if (busy_times_ > 0 && matches(busy_code_, code)) {
        --busy_times_;
        decision.answer_instead = true;
        decision.status = 64;
    } else if (status_armed_ && matches(status_code_, code)) {
        status_armed_ = false;
        decision.answer_instead = true;
        decision.status = status_;
    }
    if (corrupt_armed_ && matches(corrupt_code_, code)) {
        corrupt_armed_ = false;
        decision.corrupt_mac = true;
    }
    return decision;
}

}  // namespace vlrp11::sim
