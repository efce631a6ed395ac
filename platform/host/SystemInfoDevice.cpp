// Simulated device facts on the host (SimDevice.h): a deterministic Windows whose facts tests set, so
// nothing here depends on the machine the tests run on.
#include <mutex>
#include <string>
#include <random>

#include "platform/Processes.h"
#include "platform/SystemErrors.h"
#include "platform/SystemInfo.h"
#include "platform/host/SimDevice.h"

namespace platform {
namespace {

struct DeviceSim {
    std::mutex m;
    host::SimulatedDevice device = host::DefaultSimulatedDevice();
    std::vector<std::u16string> commandsRun;
};
DeviceSim& Sim() {
    static DeviceSim* sim = new DeviceSim;  // never destroyed: detached workers may still read it
    return *sim;
}

}  // namespace

OsVersion ReadOsVersion() {
    OsVersion version;
    {
        DeviceSim& sim = Sim();
        std::lock_guard lock(sim.m);
        version = sim.device.version;
    }
    version.build = version.read ? OsBuildNumber() : 0;
    return version;
}

bool ReadProductType(const OsVersion&, uint32_t& productType) {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    if (!sim.device.productTypeRead) return false;
    productType = sim.device.productType;
    return true;
}

MachineKeyTexts ReadMachineTexts(std::u16string_view subKey, std::initializer_list<std::u16string_view> names,
                                 std::size_t maxChars) {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    MachineKeyTexts result;
    const auto key = sim.device.machineKeys.find(std::u16string(subKey));
    if (key == sim.device.machineKeys.end()) {
        result.openError = kErrorFileNotFound;
        return result;
    }
    for (const std::u16string_view name : names) {
        MachineText value;
        const auto found = key->second.find(std::u16string(name));
        if (found == key->second.end()) {
            value.error = kErrorFileNotFound;
        } else if (found->second.size() + 1 > maxChars) {
            value.error = kErrorMoreData;
        } else {
            value.text = found->second;
        }
        result.values.push_back(std::move(value));
    }
    return result;
}

bool ReadHostName(std::u16string& name) {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    if (!sim.device.hostNameRead) return false;
    name = sim.device.hostName;
    return true;
}

ProductUuidQuery QueryProductUuids() {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    return sim.device.productQuery;
}

CommandCapture CaptureHiddenCommand(std::u16string_view commandLine, uint32_t) {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    sim.commandsRun.emplace_back(commandLine);
    return sim.device.command;
}

bool CreateGuidValue(GuidValue& guid) {
    {
        DeviceSim& sim = Sim();
        std::lock_guard lock(sim.m);
        if (!sim.device.guidCreated) return false;
    }
    std::random_device random;
    guid.data1 = random();
    guid.data2 = static_cast<uint16_t>(random());
    guid.data3 = static_cast<uint16_t>(random());
    for (uint8_t& b : guid.data4) b = static_cast<uint8_t>(random());
    return true;
}

Ipv4AddressTable ReadIpv4AddressTable() {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    return sim.device.addresses;
}

// The simulated adapter list is the simulated address table grouped by interface, an entry per row.
AdapterAddresses ReadAdapterIpv4Addresses(int64_t interfaceIndex) {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    AdapterAddresses result;
    result.error = sim.device.addresses.error;
    result.allocationFailed = sim.device.addresses.allocationFailed;
    if (result.error != 0 || result.allocationFailed) return result;
    for (const Ipv4AddressRow& row : sim.device.addresses.rows) {
        if (static_cast<int64_t>(row.interfaceIndex) != interfaceIndex) continue;
        std::u16string text;
        for (int octet = 0; octet < 4; ++octet) {
            if (octet) text += u'.';
            for (char c : std::to_string((row.address >> (8 * octet)) & 0xFF)) text += static_cast<char16_t>(c);
        }
        result.entries.push_back(text);
    }
    return result;
}

InterfaceTypeList ReadInterfaceTypes() {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    return sim.device.interfaceTypes;
}

namespace host {

SimulatedDevice DefaultSimulatedDevice() {
    SimulatedDevice d;
    d.version = OsVersion{true, 10, 0, 0, 0, 0, 1};
    d.productType = 48;  // Professional
    d.machineKeys[u"HARDWARE\\DESCRIPTION\\System\\BIOS"] = {
        {u"SystemProductName", u"Simulated Desktop 7"},
        {u"SystemManufacturer", u"Simulated Systems"},
        {u"BaseBoardProduct", u"SIM-BOARD-1"},
    };
    d.machineKeys[u"SOFTWARE\\Microsoft\\Cryptography"] = {
        {u"MachineGuid", u"6f1c2f0e-3d4b-4a59-9c2e-0b7d5e8a1f23"},
    };
    d.hostName = u"VELORA-PC";
    d.productQuery.uuids = {u"4c4c4544-0043-3510-8052-b3c04f564d32"};
    d.command.chunks = {
        "UUID                                  \r\r\n"
        "4C4C4544-0043-3510-8052-B3C04F564D32  \r\r\n\r\r\n"};
    // 127.0.0.1 and 192.168.1.20, first octet in the lowest byte.
    d.addresses.rows = {{0x0100007Fu, 0x000000FFu, 1}, {0x1401A8C0u, 0x00FFFFFFu, 7}};
    d.interfaceTypes.types = {24, 6};  // software loopback, Ethernet
    return d;
}

void SetSimulatedDevice(const SimulatedDevice& device) {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    sim.device = device;
}

SimulatedDevice SimulatedDeviceFacts() {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    return sim.device;
}

void ResetSimulatedDevice() {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    sim.device = DefaultSimulatedDevice();
    sim.commandsRun.clear();
}

std::vector<std::u16string> SimulatedCommandsRun() {
    DeviceSim& sim = Sim();
    std::lock_guard lock(sim.m);
    return sim.commandsRun;
}

}  // namespace host
}  // namespace platform
