#pragma once
// A scratch directory under /tmp, removed with everything in it at the end
// of the test.

#include <filesystem>
#include <system_error>

#include <stdlib.h>

namespace vorlix::test {

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/vorlix-test-XXXXXX";
        if (::mkdtemp(name) != nullptr) path_ = name;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace vorlix::test
