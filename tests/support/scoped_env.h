#pragma once
// Sets (or, with nullptr, unsets) one environment variable for the life of the object.

#include "support/system_fixtures.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace zar4::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setEnvironment(name_, value);
    }
    ~ScopedEnv() { setEnvironment(name_, old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace zar4::test
