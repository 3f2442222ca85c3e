#pragma once
// A private folder for the files an export target writes: in shared memory when there is some,
// emptied after every input, removed with everything in it when the object goes.
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

namespace pixhaul::fuzz {

class ScratchFolder {
  public:
    ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code ec;
        std::string base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : "";
        if (base.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
        }
        std::string pattern = base + "/pixhaul-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    // The folder, ending in "/".
    std::string Folder() const { return path_ + "/"; }

    // The names of the files in the folder.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    // Removes everything in the folder.
    void Clear() const {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }

  private:
    std::string path_;
};

}  // namespace pixhaul::fuzz
