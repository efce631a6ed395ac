// What the service stores for the data-path engine before it starts it: the orchestration file
// "cpeagent.conf", the filter file "filterConfig.conf" (both beside the service executable, single-byte
// text with CR LF line ends) and the credentials "Token" and "Sn" in the service's registry parameters.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "logic/ArgumentRules.h"
#include "logic/HResult.h"
#include "logic/ServiceStore.h"

namespace corvane {

inline constexpr char16_t kOrchConfigFileName[] = u"cpeagent.conf";
inline constexpr char16_t kFilterConfigFileName[] = u"filterConfig.conf";
// Under HKEY_LOCAL_MACHINE; the Windows store opens it, the others only name it.
inline constexpr char16_t kParametersKeyPath[] = u"SYSTEM\\CurrentControlSet\\Services\\Corvane\\Parameters";
inline constexpr char16_t kTokenValueName[] = u"Token";
inline constexpr char16_t kSnValueName[] = u"Sn";

// Longest texts accepted (units, terminator excluded). Addresses, token and serial must fit the
// 260-unit buffers in which paths and the engine's command line are built; the backup list a message
// buffer. The filter list has no buffer of its own, only a bound that keeps a caller from filling the disk.
inline constexpr std::size_t kMaxAddressUnits = kPathBufferUnits - 1;
inline constexpr std::size_t kMaxBackServerUnits = kMessageBufferUnits - 1;
inline constexpr std::size_t kMaxCredentialUnits = kPathBufferUnits - 1;
inline constexpr std::size_t kMaxFilterUnits = 8u * 1024u * 1024u;
// The engine start reads each credential into 256 bytes: 127 units and the terminator.
inline constexpr std::size_t kCredentialReadBytes = 256;

// Writes "cpeagent.conf", then "Token" and "Sn". Every argument is checked first; a refused one gives
// kE_INVALIDARG and nothing is written. A null CommuServer is written as "(null)", a null Token or Sn
// is stored empty, a null or empty BackServer gives no backup line.
HResult SaveOrchConfigToFile(CServiceStore& store, const InText& commuServer, int32_t orchId, int32_t cpeId,
                             int32_t customerId, const InText& token, const InText& sn,
                             const InText& backServer);

// Writes "filterConfig.conf": the text unchanged and one line feed. A null text is written as empty.
HResult SaveFilterConfigToFile(CServiceStore& store, const InText& filterContent);

struct EngineCredentials {
    std::u16string token;
    std::u16string sn;
};

// Reads "Token" and "Sn" back for the engine's command line. On failure returns the HRESULT, logs the
// reason and sets `clientMessage` to the short text for the client; `credentials` is then unchanged.
HResult ReadEngineCredentials(CServiceStore& store, EngineCredentials& credentials,
                              std::u16string& clientMessage);

// The file bytes of a single-byte text in text mode: each unit as one byte, each LF as CR LF.
// The text must have passed IsSingleByteText.
std::string EncodeSingleByteText(std::u16string_view text);

}  // namespace corvane
