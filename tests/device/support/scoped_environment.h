#pragma once

#include <string>

namespace vlrp11::test {

// Sets (or, with a null value, removes) an environment variable of the process for the lifetime
// of the object, then removes it again.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
};

}  // namespace vlrp11::test
