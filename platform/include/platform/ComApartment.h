// The calling thread's membership of a COM apartment: the helper service is reached through COM, so a
// worker that calls it joins a single-threaded apartment first and leaves it when done.
#pragma once
#include <cstdint>

namespace platform {

class CComApartment {
public:
    CComApartment();
    ~CComApartment();
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    // True when the thread can make COM calls (it joined, or already was in another apartment).
    bool Usable() const { return usable_; }
    // The failure code when it is not usable (0 otherwise).
    int32_t Error() const { return usable_ ? 0 : code_; }

private:
    int32_t code_ = 0;
    bool usable_ = true;
    [[maybe_unused]] bool joined_ = false;  // used by the Windows implementation only
};

// True when the calling thread is in a COM apartment, so that it may call the helper service. On the host,
// where the binding runs in-process, that is while a CComApartment lives on the thread; the binding
// refuses every other thread as COM refuses it on Windows.
bool ThreadInComApartment();

}  // namespace platform
