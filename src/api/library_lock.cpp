#include "api/library_lock.h"

#include "platform/clock.h"

#include <mutex>

namespace vlrp11 {
namespace {

// Made on first use: the MinGW mutex has no constant initialiser, and an application may call
// the module from another library's static initialisation.
std::mutex& library_mutex()
{
    static std::mutex mutex;
    return mutex;
}

}  // namespace

LibraryLock::LibraryLock() noexcept
{
    library_mutex().lock();
}

LibraryLock::~LibraryLock()
{
    library_mutex().unlock();
}

void LibraryLock::sleep_unlocked(std::uint32_t milliseconds) noexcept
{
    library_mutex().unlock();
    sleep_ms(milliseconds);
    library_mutex().lock();
}

}  // namespace vlrp11
