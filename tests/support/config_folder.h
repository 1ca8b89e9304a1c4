// A settings store of its own for one test of the desktop program, so that
// the layouts and recent files one test writes never reach the next.
#pragma once

#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace testing_support {

class ConfigFolder {
public:
    ConfigFolder() : m_env("TARNWICK_CONFIG_DIR", m_folder.Path().c_str()) {}

private:
    TempFolder m_folder;
    ScopedEnv m_env;
};

}  // namespace testing_support
