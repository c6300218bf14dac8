#include "platform/drivers/file_input.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

extern "C" {
#include <libavutil/time.h>
}

namespace morvala::drivers {
namespace {

constexpr int kReadBufferBytes = 64 * 1024;

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a device";
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::string FfmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

bool FileInput::Open(const std::string& path, std::string* reason) {
    Close();
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for ever.
    fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        *reason = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    fstat(fd_, &opened_);
    if (!S_ISREG(opened_.st_mode)) {
        *reason = std::string("cannot open: ") + KindOf(opened_.st_mode) +
                  ", not a file that can be played from its start again";
        Close();
        return false;
    }
    return OpenDemuxer(reason);
}

bool FileInput::Restart(std::string* reason) {
    CloseDemuxer();
    return OpenDemuxer(reason);
}

bool FileInput::OpenDemuxer(std::string* reason) {
    if (lseek(fd_, 0, SEEK_SET) != 0) {
        *reason = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kReadBufferBytes));
    io_ = buffer ? avio_alloc_context(buffer, kReadBufferBytes, 0, this, Read, nullptr, Seek)
                 : nullptr;
    if (io_ == nullptr) {
        av_free(buffer);
        *reason = "cannot open: out of memory";
        return false;
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) {
        *reason = "cannot open: out of memory";
        return false;
    }
    format_->pb = io_;
    format_->interrupt_callback = {PastDeadline, this};
    // No name: FFmpeg goes by the contents alone, and an image name can never be taken
    // for a numbered sequence of files.
    int result = avformat_open_input(&format_, nullptr, nullptr, nullptr);
    if (result < 0) {
        *reason = "cannot open: " + FfmpegError(result);
        return false;
    }
    return true;
}

void FileInput::CloseDemuxer() {
    // Opened with an AVIOContext of ours, the demuxer leaves it to us.
    avformat_close_input(&format_);
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
    }
    avio_context_free(&io_);
}

void FileInput::Close() {
    CloseDemuxer();
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void FileInput::SetDeadline(int64_t limitMs) {
    deadlineUs_ = av_gettime_relative() + limitMs * 1000;
}

bool FileInput::Changed(const std::string& path) const {
    struct stat now;
    return stat(path.c_str(), &now) != 0 || !SameFile(now, opened_);
}

int FileInput::Read(void* opaque, uint8_t* buffer, int size) {
    auto* input = static_cast<FileInput*>(opaque);
    for (;;) {
        ssize_t got = read(input->fd_, buffer, size_t(size));
        if (got > 0) {
            return int(got);
        }
        if (got == 0) {
            return AVERROR_EOF;
        }
        if (errno != EINTR) {
            return AVERROR(errno);
        }
    }
}

int64_t FileInput::Seek(void* opaque, int64_t offset, int whence) {
    auto* input = static_cast<FileInput*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat now;
        return fstat(input->fd_, &now) == 0 ? int64_t(now.st_size) : AVERROR(errno);
    }
    off_t position = lseek(input->fd_, offset, whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : int64_t(position);
}

int FileInput::PastDeadline(void* opaque) {
    return av_gettime_relative() > static_cast<FileInput*>(opaque)->deadlineUs_;
}

}  // namespace morvala::drivers
