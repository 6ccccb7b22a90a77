#include "device/support/scoped_environment.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace vlrp11::test {
namespace {

// The library reads the process environment block on Windows, so the test writes that one.
void set_variable(const char* name, const char* value)
{
#ifdef _WIN32
    SetEnvironmentVariableA(name, value);
#else
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name)
{
    set_variable(name, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    set_variable(name_.c_str(), nullptr);
}

}  // namespace vlrp11::test
