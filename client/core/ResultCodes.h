// The client's result codes and its fixed user texts in one place: every producer (sign-in, connect,
// native path, tunnel set-up, client API) takes its code and its text from here, so a user who quotes a
// number and a caller who tests a code see the same value whichever path produced it.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

namespace velora {

// Codes that are not the client's own: platform, HTTP-layer and service codes.
inline constexpr int32_t kCodeSuccess = 0;
inline constexpr int32_t kCodeNoMemory = 8;
inline constexpr int32_t kCodeNotSupported = 50;
inline constexpr int32_t kCodeInvalidArgument = 87;
inline constexpr int32_t kCodeBusyOrStopped = 329;
inline constexpr int32_t kCodeUnparsable = 501;
inline constexpr int32_t kCodeAnswerIncomplete = 502;
inline constexpr int32_t kCodePollTimedOut = 4082;
inline constexpr int32_t kCodeHttpTimeout = 12002;
inline constexpr int32_t kCodeHttpNameNotResolved = 12007;
inline constexpr int32_t kCodeHttpCannotConnect = 12029;
inline constexpr int32_t kCodeHttpCertificateDate = 12037;

// The connect worker's codes, also posted to the main window with UM_CONNECT_RESULT.
inline constexpr int32_t kCodeNoActiveGateway = 30100;
inline constexpr int32_t kCodeConfigNotSaved = 30101;
inline constexpr int32_t kCodeDataPathNotStarted = 30102;
inline constexpr int32_t kCodeConnectTimedOut = 30103;
inline constexpr int32_t kCodeFilterListFailed = 30104;
inline constexpr int32_t kCodeDriverNotRunning = 30105;
inline constexpr int32_t kCodeTokenInvalid = 30106;
inline constexpr int32_t kCodeFirewallBaseNotRunning = 30107;
inline constexpr int32_t kCodeKeyingNotRunning = 30108;
inline constexpr int32_t kCodeIpsecPolicyNotRunning = 30109;
inline constexpr int32_t kCodeTunnelNotice = 30111;
inline constexpr int32_t kCodeHelperNotRunning = 30112;
inline constexpr int32_t kCodeNoToken = 30113;
inline constexpr int32_t kCodeHelperStoreFailed = 30114;
inline constexpr int32_t kCodeRoutesFailed = 30115;
inline constexpr int32_t kCodeProcessCheckFailed = 30116;
inline constexpr int32_t kCodePasswordMustChange = 30117;
inline constexpr int32_t kCodeProcessCheckUnreadable = 30118;
inline constexpr int32_t kCodeGatewayAddresses = 30119;
inline constexpr int32_t kCodeRepairRestartFailed = 40001;

// Numbered texts: the number is part of the text, so that a user can quote it.
inline constexpr std::u16string_view kText2009UnknownCode = u"2009 Unknown error code(%d)";
inline constexpr std::u16string_view kText2010ConnectTimedOut =
    u"2010 Request time out. The network might be unavailable";
inline constexpr std::u16string_view kText2011NoToken = u"2011 The token is invalid, please login again";
inline constexpr std::u16string_view kText2012NoFilterList = u"2012 Can not get filter list";
inline constexpr std::u16string_view kText2013DriverNotRunning =
    u"2013 The driver is not running, reinstall and try again";
inline constexpr std::u16string_view kText2014Unparsable = u"2014 Unable to parse the authorization result";
inline constexpr std::u16string_view kText2015InvalidCustomerId = u"2015 Invalid customer ID";
inline constexpr std::u16string_view kText2016InvalidUserName = u"2016 Invalid username";
inline constexpr std::u16string_view kText2017InvalidPassword = u"2017 Invalid password";
inline constexpr std::u16string_view kText2018ConfigNotSaved = u"2018 Failed to save configuration file";
inline constexpr std::u16string_view kText2019DataPathNotStarted = u"2019 Can not start datapath";
inline constexpr std::u16string_view kText2020InvalidToken = u"2020 Invalid Token";
inline constexpr std::u16string_view kText2033HelperNotRunning =
    u"2033 The service is not running, reinstall and try again";
inline constexpr std::u16string_view kText2039PollTimedOut =
    u"2039 Asynchronous authentication timed out, please try again";

// Unnumbered fixed texts with the same role.
inline constexpr std::u16string_view kTextTransportTimedOut =
    u"Request time out.The network or the server might be unavailable";
inline constexpr std::u16string_view kTextAuthFailedCode = u"Authentication failed with code=%d";
inline constexpr std::u16string_view kTextStoppedByDisconnect = u"Stopped because of a disconnect command";
inline constexpr std::u16string_view kTextNotSupported = u"Not supported";
inline constexpr std::u16string_view kTextConnectUnknownError = u"Unknow error %d";
inline constexpr std::u16string_view kTextNoActiveVcpe = u"No active VCPE found";
inline constexpr std::u16string_view kTextNoActiveDcpe = u"No active DCPE found";
inline constexpr std::u16string_view kTextInvalidGateway = u"Invalid gateway";
inline constexpr std::u16string_view kTextInvalidCheckUrl = u"Invalid check url";
inline constexpr std::u16string_view kTextCheckUrlNull = u"Check URL returned by Orch is null";
inline constexpr std::u16string_view kTextNoMemory = u"Can not malloc memory";
inline constexpr std::u16string_view kTextAlreadyReconnecting = u"Already reconnecting";
inline constexpr std::u16string_view kTextAlreadyConnecting = u"Already connecting";
inline constexpr std::u16string_view kTextAlreadyConnected = u"Already connected";
inline constexpr std::u16string_view kTextAlreadyDisconnecting = u"Already disconnecting";
inline constexpr std::u16string_view kTextAlreadyDisconnected = u"Already disconnected";
inline constexpr std::u16string_view kTextStaticsThreadFailed = u"Can not start statics thread";
inline constexpr std::u16string_view kTextMonitorThreadFailed = u"Can not start monitor thread";

// What a table entry describes.
enum class ResultKind { NumberedText, FixedText, ConnectCode, ForeignCode };

// One row of the table. `name` is the constant above that producers use; `producers` lists the source
// files (under client/, blank-separated) that produce it, empty for a code the client only understands.
struct ResultEntry {
    ResultKind kind;
    int32_t code;              // the result code that travels with a text, or the code itself
    std::u16string_view text;  // empty for codes without a fixed text
    std::string_view name;
    std::string_view producers;
    std::string_view situation;
};

// Every entry, texts first, then the connect codes, then the foreign codes.
std::span<const ResultEntry> ResultTable();

}  // namespace velora
