// A test fixture with the file service running and a fresh folder under /tmp
// for each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "base/os.h"
#include "driver/file_service.h"
#include "support/files.h"

namespace kavsite_test {

struct ServiceTest : ::testing::Test {
    TempDir temp;
    std::filesystem::path dir = temp.path;
    static void SetUpTestSuite() {
        os_init();
        fs_init();
        fs_start();
    }
};

}  // namespace kavsite_test
