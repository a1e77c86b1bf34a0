#pragma once
// A new, empty folder of the tests' own in the system's temporary folder, removed with all it
// holds when the object goes. Its path is written with "/", which every system takes.

#include <filesystem>
#include <random>
#include <string>

namespace zar4::test {

class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "zar4params") {
        // A new folder of a name nobody has: create_directory says whether it made it.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto dir =
                std::filesystem::temp_directory_path() / (prefix + "." + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(dir, error))
                path_ = dir.generic_string();
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        // Write permission back where a test took it away, so that all can go.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string base(const std::string& name = "line1") const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace zar4::test
