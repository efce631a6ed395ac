// Security descriptors and COM security of the helper service.
#include "win32/ComSecurity.h"

#include <objbase.h>
#include <sddl.h>

#include <cwchar>

#include "platform/win32/Handles.h"

namespace corvane::win32 {

std::wstring ComDescriptorSddl(DWORD rights) {
    wchar_t mask[16];
    std::swprintf(mask, 16, L"0x%x", static_cast<unsigned>(rights));
    const std::wstring m(mask);
    return L"O:BAG:BAD:(A;;" + m + L";;;SY)(A;;" + m + L";;;BA)(A;;" + m + L";;;IU)";
}

std::vector<BYTE> SelfRelativeDescriptor(DWORD rights) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ULONG size = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ComDescriptorSddl(rights).c_str(),
                                                              SDDL_REVISION_1, &sd, &size))
        return {};
    const platform::win32::CLocalMemory owner(sd);
    const BYTE* bytes = static_cast<const BYTE*>(sd);
    return std::vector<BYTE>(bytes, bytes + size);
}

HRESULT InitializeComSecurity() {
    std::vector<BYTE> relative = SelfRelativeDescriptor(kAccessRights);
    if (relative.empty()) return HRESULT_FROM_WIN32(GetLastError());
    // COM wants the absolute form; its parts live in these buffers for the call.
    DWORD sdSize = 0, daclSize = 0, saclSize = 0, ownerSize = 0, groupSize = 0;
    MakeAbsoluteSD(relative.data(), nullptr, &sdSize, nullptr, &daclSize, nullptr, &saclSize, nullptr,
                   &ownerSize, nullptr, &groupSize);
    std::vector<BYTE> sd(sdSize ? sdSize : 1), dacl(daclSize ? daclSize : 1), sacl(saclSize ? saclSize : 1),
        owner(ownerSize ? ownerSize : 1), group(groupSize ? groupSize : 1);
    if (!MakeAbsoluteSD(relative.data(), sd.data(), &sdSize, reinterpret_cast<PACL>(dacl.data()), &daclSize,
                        reinterpret_cast<PACL>(sacl.data()), &saclSize, owner.data(), &ownerSize,
                        group.data(), &groupSize))
        return HRESULT_FROM_WIN32(GetLastError());
    return CoInitializeSecurity(sd.data(), -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NO_CUSTOM_MARSHAL | EOAC_DISABLE_AAA,
                                nullptr);
}

}  // namespace corvane::win32
