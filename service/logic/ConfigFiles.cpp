// The engine's configuration files and credentials: argument checks, exact file contents, registry values.
#include "logic/ConfigFiles.h"

#include <string_view>

namespace corvane {
namespace {

// "<lead>(0x%08x): %s" with the HRESULT and its text.
std::u16string WithHResult(CServiceStore& store, std::u16string_view lead, HResult hr) {
    return std::u16string(lead) + HresultSuffix(hr, store.DescribeHResult(hr));
}

// Builds the path of a file beside the service executable. False when the method must end now with
// `result` (the reason is logged).
bool PathBesideModule(CServiceStore& store, std::u16string_view fileName, std::u16string& path,
                      HResult& result) {
    std::u16string modulePath;
    uint32_t error = store.GetModulePath(modulePath);
    // The module path is read into a buffer of 260 units; a longer one does not fit it.
    if (error == 0 && modulePath.size() >= kPathBufferUnits) error = kErrorInsufficientBuffer;
    if (error != 0) {
        result = HResultFromSystemError(error);
        store.WriteLog(WithHResult(store, u"Failed to call GetModuleFileName ", result));
        return false;
    }
    // Windows paths use '\'; the portable store also hands out '/' paths, so both end a folder.
    const std::size_t cut = modulePath.find_last_of(u"\\/");
    if (cut == std::u16string::npos) {
        store.WriteLog(u"Can't find backslash from the result(" + modulePath + u") of GetModuleFileName");
        result = kS_OK;
        return false;
    }
    path = modulePath.substr(0, cut + 1);
    path += fileName;
    if (path.size() >= kPathBufferUnits) {
        store.WriteLog(u"Configuration file path too long: " + path);
        result = HResultFromSystemError(kErrorFilenameTooLong);
        return false;
    }
    return true;
}

void RefuseArgument(CServiceStore& store, std::u16string_view method, std::u16string_view argument) {
    // The value itself stays out of the log: it may be a secret or carry the very line breaks refused.
    std::u16string message(method);
    message += u": argument ";
    message += argument;
    message += u" refused (too long, or a character that is not allowed)";
    store.WriteLog(message);
}

void AppendLine(std::u16string& text, std::u16string_view key, std::u16string_view value) {
    text += key;
    text += u'=';
    text += value;
    text += u'\n';
}

std::u16string OrchConfigText(const InText& commuServer, int32_t orchId, int32_t cpeId, int32_t customerId,
                              const InText& backServer) {
    std::u16string text;
    AppendLine(text, u"orchid", Decimal(orchId));
    AppendLine(text, u"cpeid", Decimal(cpeId));
    AppendLine(text, u"customerid", Decimal(customerId));
    AppendLine(text, u"commaddr", commuServer ? *commuServer : std::u16string_view(u"(null)"));
    if (backServer) {
        std::u16string_view rest = *backServer;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(u',');
            const std::u16string_view piece = rest.substr(0, comma);
            if (!piece.empty()) AppendLine(text, u"bakcommaddr", piece);
            if (comma == std::u16string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
    }
    return text;
}

// 0 when written; otherwise the method's result, after logging.
HResult WriteConfigFile(CServiceStore& store, const std::u16string& path, std::u16string_view text,
                        bool reportOpenError, bool& opened) {
    bool openFailed = false;
    const int error = store.WriteWholeFile(path, EncodeSingleByteText(text), openFailed);
    opened = !openFailed;
    if (error == 0) return kS_OK;
    if (openFailed) {
        // The client learns of this only from the engine that then fails to start.
        std::u16string message = u"Can't open configuration file " + path + u" to write";
        if (reportOpenError) message += u"(" + Decimal(error) + u")";
        store.WriteLog(message);
        return kS_OK;
    }
    // A file cut short is worse than none: the engine would start with half a configuration.
    store.WriteLog(u"Can't write configuration file " + path + u"(" + Decimal(error) + u")");
    return kE_FAIL;
}

// Decodes a stored credential as the engine start reads it: into 256 bytes, ending at the first null.
uint32_t DecodeCredential(const std::string& bytes, std::u16string& text) {
    if (bytes.size() > kCredentialReadBytes) return kErrorMoreData;
    if (bytes.size() % 2 != 0) return kErrorInvalidData;
    std::u16string units;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    const std::size_t end = units.find(u'\0');
    if (end == std::u16string::npos) {
        // A value stored without its terminator needs one more unit of room.
        if (units.size() * 2 + 2 > kCredentialReadBytes) return kErrorMoreData;
    } else {
        units.resize(end);
    }
    // The value goes on the engine's command line: refuse what could add a switch there, even if someone
    // with rights on the key wrote it directly.
    if (!IsSwitchValue(units, kMaxCredentialUnits)) return kErrorInvalidData;
    text = std::move(units);
    return 0;
}

}  // namespace

std::string EncodeSingleByteText(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16 + 2);
    for (char16_t c : text) {
        if (c == u'\n') bytes += '\r';
        bytes += static_cast<char>(static_cast<unsigned char>(c));
    }
    return bytes;
}

HResult SaveOrchConfigToFile(CServiceStore& store, const InText& commuServer, int32_t orchId, int32_t cpeId,
                             int32_t customerId, const InText& token, const InText& sn,
                             const InText& backServer) {
    static constexpr char16_t kMethod[] = u"SaveOrchConfigToFile";
    store.WriteLog(u"CustomerId " + Decimal(customerId) + u" CpeId " + Decimal(cpeId));

    // Everything is checked before anything is written, so a refused call leaves file and registry as they
    // were.
    if (CheckConfigLineArgument(commuServer, kMaxAddressUnits) != kS_OK) {
        RefuseArgument(store, kMethod, u"CommuServer");
        return kE_INVALIDARG;
    }
    if (CheckConfigLineArgument(backServer, kMaxBackServerUnits) != kS_OK) {
        RefuseArgument(store, kMethod, u"BackServer");
        return kE_INVALIDARG;
    }
    if (CheckSwitchArgument(token, kMaxCredentialUnits) != kS_OK) {
        RefuseArgument(store, kMethod, u"Token");
        return kE_INVALIDARG;
    }
    if (CheckSwitchArgument(sn, kMaxCredentialUnits) != kS_OK) {
        RefuseArgument(store, kMethod, u"Sn");
        return kE_INVALIDARG;
    }

    std::u16string path;
    HResult result = kS_OK;
    if (!PathBesideModule(store, kOrchConfigFileName, path, result)) return result;

    bool opened = false;
    result = WriteConfigFile(store, path, OrchConfigText(commuServer, orchId, cpeId, customerId, backServer),
                             true, opened);
    if (!opened || result != kS_OK) return result;

    std::unique_ptr<CParameterKey> key;
    uint32_t error = store.OpenParameters(true, key);
    if (error != 0 || !key) {
        result = error != 0 ? HResultFromSystemError(error) : kE_FAIL;
        store.WriteLog(WithHResult(store, u"Can't open registry to write ", result));
        return result;
    }
    error = key->SetText(kTokenValueName, token.value_or(std::u16string_view()));
    if (error != 0) {
        result = HResultFromSystemError(error);
        store.WriteLog(WithHResult(store, u"Can't open registry to write token", result));
        return result;
    }
    error = key->SetText(kSnValueName, sn.value_or(std::u16string_view()));
    if (error != 0) {
        result = HResultFromSystemError(error);
        store.WriteLog(WithHResult(store, u"Can't open registry to write sn", result));
        return result;
    }
    return kS_OK;
}

HResult SaveFilterConfigToFile(CServiceStore& store, const InText& filterContent) {
    const std::u16string_view text = filterContent.value_or(std::u16string_view());
    if (!IsSingleByteText(text, kMaxFilterUnits)) {
        RefuseArgument(store, u"SaveFilterConfigToFile", u"FilterContent");
        return kE_INVALIDARG;
    }

    std::u16string path;
    HResult result = kS_OK;
    if (!PathBesideModule(store, kFilterConfigFileName, path, result)) return result;

    std::u16string content(text);
    content += u'\n';
    bool opened = false;
    return WriteConfigFile(store, path, content, false, opened);
}

HResult ReadEngineCredentials(CServiceStore& store, EngineCredentials& credentials,
                              std::u16string& clientMessage) {
    std::unique_ptr<CParameterKey> key;
    uint32_t error = store.OpenParameters(false, key);
    if (error != 0 || !key) {
        const HResult result = error != 0 ? HResultFromSystemError(error) : kE_FAIL;
        store.WriteLog(WithHResult(store, u"Can't open registry to read", result));
        clientMessage = u"Can't open registry to read";
        return result;
    }

    EngineCredentials read;
    std::string bytes;
    error = key->GetData(kTokenValueName, bytes);
    if (error == 0) error = DecodeCredential(bytes, read.token);
    if (error != 0) {
        key.reset();
        const HResult result = HResultFromSystemError(error);
        store.WriteLog(WithHResult(store, u"Can't open registry to read token", result));
        clientMessage = u"Can't open registry to read token";
        return result;
    }

    error = key->GetData(kSnValueName, bytes);
    if (error == 0) error = DecodeCredential(bytes, read.sn);
    key.reset();
    if (error != 0) {
        const HResult result = HResultFromSystemError(error);
        store.WriteLog(WithHResult(store, u"Can't open registry to read sn", result));
        clientMessage = u"Can't open registry to read sn";
        return result;
    }

    credentials = std::move(read);
    return kS_OK;
}

}  // namespace corvane
