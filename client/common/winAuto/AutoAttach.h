// Attaches a handle to a wrapper for one scope and detaches it at the end, so the wrapper never owns it. A
// handle that cannot be attached is the skin's failure 0x8007139F.
#pragma once
#include <windows.h>

#include "common/winAuto/SkinFailure.h"

namespace velora {

template <class T, class H>
class CAutoAttach {
public:
    CAutoAttach(T& object, H handle) : m_object(object) {
        if (!m_object.Attach(handle)) {
            ThrowBrxException(kAttachFailedHresult, __LINE__, kWinAutoFile, OperationName());
        }
    }
    ~CAutoAttach() { m_object.Detach(); }
    CAutoAttach(const CAutoAttach&) = delete;
    CAutoAttach& operator=(const CAutoAttach&) = delete;

    // The operation name that a failure to attach a drawing context carries.
    static const char* OperationName() { return "CAutoAttach<class CDC,struct HDC__ *>::CAutoAttach"; }

private:
    T& m_object;
};

}  // namespace velora
