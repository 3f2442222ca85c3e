#pragma once
// A read-only file mapped into memory (RAII). Empty files map to an empty span.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/file_identity.h"

namespace pixhaul {

class MappedFile {
public:
    // Maps the file; on failure returns null and sets error to a message naming the cause.
    static std::shared_ptr<const MappedFile> Open(const std::string& path, std::string& error);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }
    std::size_t Size() const { return size_; }
    const std::string& Path() const { return path_; }
    FileIdentity Identity() const { return identity_; }

private:
    MappedFile() = default;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::string path_;
    FileIdentity identity_{};
};

}  // namespace pixhaul
