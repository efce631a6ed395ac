// Base of the client's exceptions. They are thrown by pointer (throw new ...), and whoever catches
// one calls Delete() on it; the destructor is protected so that a stray `delete` or a copy by value
// cannot happen.
#pragma once

namespace velora {

class CException {
public:
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;

    void Delete() { delete this; }

protected:
    CException() = default;
    virtual ~CException() = default;
};

}  // namespace velora
