#pragma once

// TFdOutput: a command-line program's standard output. Lines collect in a buffer that
// goes to the file descriptor in one write per batch (or sooner, when a batch is large),
// so a reader at the other end of a pipe sees whole batches promptly.

#include <QString>
#include <string>

namespace zelk::rtl {

class TFdOutput {
public:
    // Writes to `fd`, which stays open (and owned by the caller). SIGPIPE must be ignored
    // in the process, so that a reader who went away shows as EPIPE here.
    explicit TFdOutput(int fd) noexcept : FFd(fd) {}
    TFdOutput(const TFdOutput&) = delete;
    TFdOutput& operator=(const TFdOutput&) = delete;

    // The buffer the lines are appended to; once writing has failed, appended text is
    // dropped at the next Flush.
    std::string& Buffer() noexcept { return FBuffer; }
    // Flush when the buffer holds more than this.
    static constexpr std::size_t FlushThreshold = 256 * 1024;
    bool Full() const noexcept { return FBuffer.size() > FlushThreshold; }

    // Writes out the buffer, retrying interrupted and partial writes. False once a write
    // has failed; the failure stays.
    bool Flush();
    bool Failed() const noexcept { return FError != 0; }
    // The reader closed its end: the end of the run, not an error.
    bool BrokenPipe() const noexcept;
    // The system's text for a failure other than a broken pipe.
    QString ErrorText() const;

private:
    int FFd;
    int FError = 0;
    std::string FBuffer;
};

} // namespace zelk::rtl
