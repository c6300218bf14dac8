// The C library's entry points through which programs and libv4l2 reach a video device,
// answered by the emulated camera for its node and its descriptors and passed on otherwise.
// libv4l2 reaches the device through syscall() (ioctl, mmap, close, read); programs through
// open, ioctl, poll, mmap and the stat family.
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "tests/emulated_camera/device.h"

namespace {

namespace camera = emulated_camera;

template <typename Result>
Result Failed(int error, Result failure) {
    errno = error;
    return failure;
}

int OpenPath(int directory, const char* path, int flags, mode_t mode) {
    if (camera::IsDevicePath(path)) {
        int fd = camera::OpenDevice(flags);
        return fd < 0 ? Failed(-fd, -1) : fd;
    }
    return static_cast<int>(camera::Real().syscall(SYS_openat, directory, path, flags, mode));
}

mode_t ModeArgument(int flags, va_list arguments) {
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(arguments, mode_t) : 0;
}

int Ioctl(int fd, unsigned long request, void* argument) {
    int result = camera::DeviceIoctl(fd, request, argument);
    return result < 0 ? Failed(-result, -1) : result;
}

void* Map(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    int error = 0;
    void* mapped = camera::MapDevice(address, length, protection, flags, fd, offset, &error);
    return error != 0 ? Failed(error, MAP_FAILED) : mapped;
}

int Close(int fd) {
    camera::CloseDevice(fd);
    return camera::Real().close(fd);
}

int StatPath(struct stat* status) {
    int result = camera::StatDevice(status);
    return result < 0 ? Failed(-result, -1) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenPath(AT_FDCWD, path, flags, mode);
}

int openat(int directory, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    return OpenPath(directory, path, flags, mode);
}

int __open_2(const char* path, int flags) {
    return OpenPath(AT_FDCWD, path, flags, 0);
}

// On 64-bit Linux the 64 variants are the same calls under other names.
int open64(const char* path, int flags, ...) __attribute__((alias("open")));
int openat64(int directory, const char* path, int flags, ...) __attribute__((alias("openat")));
int __open64_2(const char* path, int flags) __attribute__((alias("__open_2")));

int close(int fd) {
    if (camera::IsDeviceFd(fd)) {
        return Close(fd);
    }
    return camera::Real().close(fd);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (camera::IsDeviceFd(fd)) {
        return Ioctl(fd, request, argument);
    }
    return static_cast<int>(camera::Real().syscall(SYS_ioctl, fd, request, argument));
}

long syscall(long number, ...) {
    va_list arguments;
    va_start(arguments, number);
    long a[6];
    for (long& argument : a) {
        argument = va_arg(arguments, long);
    }
    va_end(arguments);
    int fd = static_cast<int>(number == SYS_mmap ? a[4] : a[0]);
    bool onDevice = (number == SYS_ioctl || number == SYS_mmap || number == SYS_close ||
                     number == SYS_read || number == SYS_write) &&
                    camera::IsDeviceFd(fd);
    if (onDevice) {
        switch (number) {
            case SYS_ioctl:
                return Ioctl(fd, a[1], reinterpret_cast<void*>(a[2]));
            case SYS_mmap:
                return reinterpret_cast<long>(
                    Map(reinterpret_cast<void*>(a[0]), a[1], a[2], a[3], fd, a[5]));
            case SYS_close:
                return Close(fd);
            default:
                return Failed(EINVAL, -1L);  // uvcvideo streams; it has no read or write
        }
    }
    if (number == SYS_open || number == SYS_openat) {
        const char* path = reinterpret_cast<const char*>(number == SYS_open ? a[0] : a[1]);
        if (camera::IsDevicePath(path)) {
            int flags = static_cast<int>(number == SYS_open ? a[1] : a[2]);
            int opened = camera::OpenDevice(flags);
            return opened < 0 ? Failed(-opened, -1L) : opened;
        }
    }
    return camera::Real().syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    if (fd >= 0 && camera::IsDeviceFd(fd)) {
        return Map(address, length, protection, flags, fd, offset);
    }
    return camera::Real().mmap(address, length, protection, flags, fd, offset);
}

void* mmap64(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    return mmap(address, length, protection, flags, fd, offset);
}

int poll(pollfd* fds, nfds_t count, int timeoutMs) {
    bool withDevice = false;
    for (nfds_t i = 0; i < count && camera::AnyDeviceFdOpen(); ++i) {
        withDevice = withDevice || camera::IsDeviceFd(fds[i].fd);
    }
    if (!withDevice) {
        return camera::Real().poll(fds, count, timeoutMs);
    }
    int result = camera::PollWithDevice(fds, count, timeoutMs);
    return result < 0 ? Failed(-result, -1) : result;
}

int stat(const char* path, struct stat* status) {
    if (camera::IsDevicePath(path)) {
        return StatPath(status);
    }
    return static_cast<int>(camera::Real().syscall(SYS_newfstatat, AT_FDCWD, path, status, 0));
}

int lstat(const char* path, struct stat* status) {
    if (camera::IsDevicePath(path)) {
        return StatPath(status);
    }
    return static_cast<int>(
        camera::Real().syscall(SYS_newfstatat, AT_FDCWD, path, status, AT_SYMLINK_NOFOLLOW));
}

int fstatat(int directory, const char* path, struct stat* status, int flags) {
    if (camera::IsDevicePath(path)) {
        return StatPath(status);
    }
    return static_cast<int>(camera::Real().syscall(SYS_newfstatat, directory, path, status, flags));
}

int fstat(int fd, struct stat* status) {
    if (camera::IsDeviceFd(fd)) {
        return camera::StatDeviceFd(fd, status);
    }
    return static_cast<int>(camera::Real().syscall(SYS_fstat, fd, status));
}

// On 64-bit Linux the 64 variants are the same calls under other names.
int stat64(const char* path, struct stat64* status) {
    return stat(path, reinterpret_cast<struct stat*>(status));
}
int lstat64(const char* path, struct stat64* status) {
    return lstat(path, reinterpret_cast<struct stat*>(status));
}
int fstatat64(int directory, const char* path, struct stat64* status, int flags) {
    return fstatat(directory, path, reinterpret_cast<struct stat*>(status), flags);
}
int fstat64(int fd, struct stat64* status) {
    return fstat(fd, reinterpret_cast<struct stat*>(status));
}

}  // extern "C"
