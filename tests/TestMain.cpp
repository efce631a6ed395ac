// Test entry: on the host every test process gets fresh per-user folders, so settings and logs of
// one run never leak into another or into the user's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#ifndef _WIN32
#include <unistd.h>
#endif

int main(int argc, char** argv) {
#ifndef _WIN32
    if (!std::getenv("VELORA_KEEP_HOME")) {
        std::string base = "/tmp/velora-test-XXXXXX";
        if (mkdtemp(base.data())) {
            setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
            setenv("VELORA_TEST_HOME", base.c_str(), 1);
        }
    }
#endif
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#ifndef _WIN32
    if (const char* home = std::getenv("VELORA_TEST_HOME")) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
#endif
    return result;
}
