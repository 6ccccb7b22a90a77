#include "api/library_lock.h"

#include "platform/clock.h"

#include <mutex>

namespace vlrp11 {
namespace {

constinit std::mutex library_mutex;

}  // namespace

LibraryLock::LibraryLock() noexcept
{
    library_mutex.lock();
}

LibraryLock::~LibraryLock()
{
    library_mutex.unlock();
}

void LibraryLock::sleep_unlocked(std::uint32_t milliseconds) noexcept
{
    library_mutex.unlock();
    sleep_ms(milliseconds);
    library_mutex.lock();
}

}  // namespace vlrp11
