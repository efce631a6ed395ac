// A file the service writes on a caller's behalf (a diagnosis output), opened with the caller's rights
// where the platform lets the service take them on. Destroying it closes it.
#pragma once
#include <string_view>

namespace corvane {

class CCallerFile {
public:
    virtual ~CCallerFile() = default;
    // Appends the bytes unchanged. False when the write failed.
    virtual bool Write(std::string_view bytes) = 0;
};

}  // namespace corvane
