#include "FdOutput.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace zelk::rtl {

bool TFdOutput::Flush() {
    if (FError != 0) {
        FBuffer.clear();
        return false;
    }
    std::size_t written = 0;
    while (written < FBuffer.size()) {
        const ssize_t n = ::write(FFd, FBuffer.data() + written, FBuffer.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Standard output may have been handed over non-blocking: wait until it drains.
            pollfd ready{FFd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) >= 0 || errno == EINTR)
                continue;
        }
        FError = n < 0 ? errno : EIO;
        break;
    }
    FBuffer.clear();
    return FError == 0;
}

bool TFdOutput::BrokenPipe() const noexcept {
    return FError == EPIPE;
}

QString TFdOutput::ErrorText() const {
    return QString::fromLocal8Bit(std::strerror(FError));
}

} // namespace zelk::rtl
