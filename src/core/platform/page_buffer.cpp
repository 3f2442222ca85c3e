#include "platform/page_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

#include "platform/address_sanitizer.h"

namespace pixhaul {

#ifdef PIXHAUL_ADDRESS_SANITIZER

PageBuffer MakePageBuffer(std::size_t bytes) {
    return PageBuffer(new std::uint8_t[std::max<std::size_t>(bytes, 1)](), PageBufferRelease{});
}

void PageBufferRelease::operator()(std::uint8_t* buffer) const noexcept {
    delete[] buffer;
}

#else

PageBuffer MakePageBuffer(std::size_t bytes) {
    const std::size_t size = std::max<std::size_t>(bytes, 1);
    void* const at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    return PageBuffer(static_cast<std::uint8_t*>(at), PageBufferRelease{size});
}

void PageBufferRelease::operator()(std::uint8_t* buffer) const noexcept {
    if (buffer != nullptr) ::munmap(buffer, bytes);
}

#endif

}  // namespace pixhaul
