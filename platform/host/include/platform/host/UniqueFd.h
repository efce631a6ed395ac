// The one owner of a POSIX file descriptor on the host: closed exactly once, on every path out.
#pragma once
#include <unistd.h>

namespace platform::host {

class CUniqueFd {
public:
    CUniqueFd() = default;
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    ~CUniqueFd() { Close(); }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    void Reset(int fd = -1) {
        Close();
        m_fd = fd;
    }
    // Closing can report a failed write-back; the caller decides whether that matters.
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

}  // namespace platform::host
