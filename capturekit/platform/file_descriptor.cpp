#include <capturekit/platform/file_descriptor.hpp>

#include <unistd.h>

#include <cerrno>

namespace capturekit {

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::error_code FileDescriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code{} : std::error_code{errno, std::generic_category()};
}

} // namespace capturekit
