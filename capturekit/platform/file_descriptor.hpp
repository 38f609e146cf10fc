#pragma once

// An open file descriptor owned by one object: closed when it goes, unless closed before.

#include <system_error>

namespace capturekit {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    // Closes now, reporting the error that close may be the first to see.
    std::error_code close();

private:
    int fd_;
};

} // namespace capturekit
