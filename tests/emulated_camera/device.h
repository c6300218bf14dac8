// The emulated camera's device: what the interposed C library calls ask of /dev/videoN.
// Calls return 0 (or a count) on success and -errno on failure; the interposers set errno.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace emulated_camera {

// The real C library functions the device itself uses (found past the interposers).
struct RealCalls {
    int (*open)(const char*, int, ...);
    int (*close)(int);
    int (*poll)(pollfd*, nfds_t, int);
    void* (*mmap)(void*, size_t, int, int, int, off_t);
    long (*syscall)(long, ...);
};
const RealCalls& Real();

bool IsDevicePath(const char* path);
// The node as stat sees it; -ENOENT while unplugged.
int StatDevice(struct stat* status);
// A descriptor for the node (a real one, so its number is the process's own), or -errno.
int OpenDevice(int flags);
bool IsDeviceFd(int fd);
void CloseDevice(int fd);
int DeviceIoctl(int fd, unsigned long request, void* argument);
void* MapDevice(void* address, size_t length, int protection, int flags, int fd, off_t offset,
                int* error);
int StatDeviceFd(int fd, struct stat* status);
// poll over descriptors of which at least one is the device's.
int PollWithDevice(pollfd* fds, nfds_t count, int timeoutMs);
// Fast test for the interposers: has any device descriptor been opened?
bool AnyDeviceFdOpen();

}  // namespace emulated_camera
