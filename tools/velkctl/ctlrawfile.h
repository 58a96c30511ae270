// TRawFile: one open file as the system's descriptor, read and written byte
// for byte (no line-end translation) and handed to no other program. The
// standard streams can be taken the same way, without being owned.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class TRawFile {
public:
    enum class TOpen {
        Read,          // an existing file, for reading
        WriteExisting, // an existing file, for writing, its bytes kept
        CreateNew,     // a new file, for writing; fails when one exists
    };

    TRawFile() = default;
    // Not Valid() with errno set when the file cannot be opened that way.
    TRawFile(const std::string &path, TOpen how);
    // A standard stream (stdin, stdout), switched to byte-exact reading and
    // writing; it stays open when this object goes.
    static TRawFile Standard(std::FILE *stream);
    ~TRawFile();
    TRawFile(TRawFile &&other) noexcept;
    TRawFile &operator=(TRawFile &&other) noexcept;
    TRawFile(const TRawFile &) = delete;
    TRawFile &operator=(const TRawFile &) = delete;

    bool Valid() const { return fd_ >= 0; }
    explicit operator bool() const { return Valid(); }
    // Closes the file (a standard stream is only let go).
    void Close();

    // What one read or write moved: bytes, 0 at the end of the input, -1 with
    // errno set on failure.
    long Read(void *data, std::size_t count);
    long Write(const void *data, std::size_t count);
    // The file is a regular file (not a device or a pipe).
    bool IsRegular() const;
    // Shortens the file to nothing; false with errno set on failure.
    bool Truncate();
    // Flushes what was written to the disk; false with errno set on failure.
    bool Sync();

    // The device that takes any bytes and keeps none.
    static const char *NullDevice();

private:
    TRawFile(int fd, bool owned) : fd_(fd), owned_(owned) {}

    int fd_ = -1;
    bool owned_ = true;
};
