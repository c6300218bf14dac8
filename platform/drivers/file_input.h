// A clip or image opened for FFmpeg as a file and nothing else: its own descriptor read
// through an AVIOContext, so that no protocol ("take1:face.png") or pattern ("face %d.png")
// syntax of FFmpeg's applies, and a deadline that makes FFmpeg give up on a slow read.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace morvala::drivers {

class FileInput {
  public:
    FileInput() = default;
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;
    ~FileInput() { Close(); }

    // Opens the regular file at path and its demuxer, reading from its start; on failure
    // *reason says why. Never blocks on a named pipe or device: only regular files open.
    bool Open(const std::string& path, std::string* reason);
    // Opens the demuxer again from the file's start, the file kept open: the one way to come
    // back to its first picture in every container.
    bool Restart(std::string* reason);
    void Close();

    AVFormatContext* format() const { return format_; }
    // From now on, FFmpeg gives up reading (AVERROR_EXIT) once limitMs have passed.
    void SetDeadline(int64_t limitMs);
    // Whether path no longer names the file as it was opened: another, changed or gone.
    bool Changed(const std::string& path) const;

  private:
    bool OpenDemuxer(std::string* reason);
    void CloseDemuxer();
    static int Read(void* opaque, uint8_t* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    static int PastDeadline(void* opaque);

    int fd_ = -1;
    struct stat opened_ = {};
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    int64_t deadlineUs_ = INT64_MAX;
};

}  // namespace morvala::drivers
