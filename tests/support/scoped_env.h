// Sets or removes one environment variable for a test's life and restores it after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testing_support {

class ScopedEnv {
public:
    // A null value removes the variable.
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const char* value) {
        if (value) {
            ::setenv(m_name.c_str(), value, 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace testing_support
