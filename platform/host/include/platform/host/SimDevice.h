// Host test controls for the simulated device facts (SystemInfo.h, and the address and interface-type
// tables of Network.h). Every process starts with DefaultSimulatedDevice(): a Windows 10 Professional
// workstation with one Ethernet adapter at 192.168.1.20/24, the loopback, a readable BIOS key and a
// management service that answers one product UUID. The build number is the one of SimSystem.h.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Network.h"
#include "platform/Processes.h"
#include "platform/SystemInfo.h"

namespace platform::host {

struct SimulatedDevice {
    OsVersion version;  // `build` is ignored: SetSimulatedOsBuildNumber sets it
    bool productTypeRead = true;
    uint32_t productType = 0;
    // HKEY_LOCAL_MACHINE: key path -> value name -> text. A key that is absent cannot be opened (2).
    std::map<std::u16string, std::map<std::u16string, std::u16string>> machineKeys;
    bool hostNameRead = true;
    std::u16string hostName;
    ProductUuidQuery productQuery;  // what the management query answers
    CommandCapture command;         // what any hidden command delivers
    bool guidCreated = true;        // GUIDs themselves are random
    Ipv4AddressTable addresses;
    InterfaceTypeList interfaceTypes;
};

SimulatedDevice DefaultSimulatedDevice();
void SetSimulatedDevice(const SimulatedDevice& device);
SimulatedDevice SimulatedDeviceFacts();
void ResetSimulatedDevice();
// Command lines run through CaptureHiddenCommand since the last reset, in order.
std::vector<std::u16string> SimulatedCommandsRun();

}  // namespace platform::host
