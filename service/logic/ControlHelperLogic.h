// What the methods of the ControlHelper class do, in plain C++: the Windows host converts automation
// strings (a null string arrives as an empty text) and hands the outputs back. An output left as it came
// in (an empty optional for a text) is an output the method did not set.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logic/Hresult.h"

namespace corvane {

class CControlHelperLogic {
public:
    HResult SaveOrchConfigToFile(std::u16string_view commuServer, int32_t orchId, int32_t cpeId,
                                 int32_t customerId, std::u16string_view token, std::u16string_view sn,
                                 std::u16string_view backServer);
    HResult SaveFilterConfigToFile(std::u16string_view filterContent);
    HResult StartDataPath(std::u16string_view orchDomain, int32_t enableHotSpotOrTransferMode, int32_t& isErr,
                          int32_t langId, std::optional<std::u16string>& msgErr, int32_t& isIcsEnable);
    HResult StopDataPath(std::optional<std::u16string>& msgErr);
    HResult GetSystemInfo(std::u16string_view execPath, std::u16string_view outFilePath);
    HResult FixErrAuto(uint32_t errCode);
    HResult WifiSpotHotNotify(int32_t& ifIndex, int32_t langId, std::optional<std::u16string>& msg);
    HResult ProduceNsCtlLog(std::u16string_view path, std::u16string_view name);
};

// Interface index of the current hotspot or connection-sharing interface; -1 means none. Last writer
// wins between concurrent callers, by design.
int32_t SharingInterfaceIndex();
void SetSharingInterfaceIndex(int32_t index);

}  // namespace corvane
