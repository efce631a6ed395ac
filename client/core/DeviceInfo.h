// Facts about the device that the service asks for: identifier, installation serial, OS short name and
// edition, model and maker, host name and local addresses; and the check of the customer's list of
// allowed Windows versions. Every text that goes into a JSON request body comes back JSON-escaped.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velora {

// "win10", "win11", "win8.1", "win8", "win7", "win2016_2019", "win2012R2", "win2012", "win2008R2", or "".
std::u16string GetOsShortName();
// "Windows 11" and so on for a short name in any letter case; "" for an unknown one.
std::u16string GetOsDisplayName(std::u16string_view shortName);
bool IsWindows6();
bool IsGovernmentEdition();

// True when the system matches an entry of the customer's list (an empty list allows every system).
// `osName` receives the system's display name and `editionName` its edition in the user's language;
// both stay empty for an empty list.
bool CheckOsAllowed(std::u16string_view allowedList, std::u16string& osName, std::u16string& editionName);

// The local IPv4 addresses other than the loopback, "a.b.c.d/prefix" joined by ",".
std::u16string GetLocalIpList();
// The first address of an interface as "a.b.c.d"; "" when it has none.
std::u16string GetInterfaceIp(uint32_t interfaceIndex);

// Asks the helper service for the default-route interface: returns its status code (negative on
// failure) and writes the index on success.
using FindDefaultGatewayInterfaceFn = std::function<int32_t(int32_t& indexOut)>;
// The address of the interface that carries the default route, or "".
std::u16string GetInternalIp(const FindDefaultGatewayInterfaceFn& findDefaultGatewayInterface);

// Both outputs trimmed and JSON-escaped; true when both were read.
bool GetDeviceModel(std::u16string& model, std::u16string& manufacturer);
std::u16string GetHostName();
bool HasWirelessInterface();

// The device identifier, upper case: the management service's product UUID, else the command-line
// tool's, else the machine GUID, else the installation serial.
std::u16string GetDeviceId();
// The 32-character serial of this installation, made up on first use and kept in the settings.
std::u16string GetInstallationSerial();

}  // namespace velora
