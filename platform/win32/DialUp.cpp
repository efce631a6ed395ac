// The dial-up layer on Windows, over the remote-access API: phonebook entries, the entry's pre-shared key,
// a dial with a notification callback (so its handle is known at once) and the bounded wait for its end,
// connection state, hang-up with the wait for the port to close, enumeration and error texts. Secrets
// handed to the system are wiped from this process's buffers once the call is done.
#include "platform/DialUp.h"

#include <windows.h>

#include <ras.h>
#include <raserror.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/Kernel.h"

#include "platform/win32/Handles.h"
#include "platform/win32/SystemMessage.h"
#include "platform/win32/Wide.h"

namespace platform {
namespace {

// The entry as Windows 7 and later lay it out. mingw-w64's RASENTRYW ends at dwRedialPause; the interface
// metric and the network outage time follow it in the system's structure.
struct RasEntryWithMetric {
    RASENTRYW base;
    BYTE ipv6addrDns[16];
    BYTE ipv6addrDnsAlt[16];
    DWORD dwIPv4InterfaceMetric;
    DWORD dwIPv6InterfaceMetric;
    BYTE ipv6addr[16];
    DWORD dwIPv6PrefixLength;
    DWORD dwNetworkOutageTime;
};
static_assert(offsetof(RasEntryWithMetric, dwIPv4InterfaceMetric) == sizeof(RASENTRYW) + 32);
static_assert(offsetof(RasEntryWithMetric, dwNetworkOutageTime) == sizeof(RASENTRYW) + 60);

constexpr DWORD kHangUpPollMs = 10;

// Hangs up and waits, bounded, until the system no longer knows the connection: hanging up only starts
// the tear-down, and a new dial or a process exit before the port has closed can leave it open.
uint32_t HangUpAndWait(HRASCONN connection, uint32_t waitMs) {
    const DWORD error = RasHangUpW(connection);
    if (error != 0) return error;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        RASCONNSTATUSW status{};
        status.dwSize = sizeof(status);
        if (RasGetConnectStatusW(connection, &status) == ERROR_INVALID_HANDLE) break;
        if (GetTickCount64() >= deadline) break;
        Sleep(kHangUpPollMs);
    }
    return 0;
}

// A connection this code holds until it hands it over: hung up (with the bounded wait) otherwise.
struct RasConnectionTraits {
    static HRASCONN Invalid() { return nullptr; }
    static bool IsValid(HRASCONN connection) { return connection != nullptr; }
    static bool Close(HRASCONN connection) { return HangUpAndWait(connection, 3000) == 0; }
};
using CRasConnection = win32::CUniqueHandle<HRASCONN, RasConnectionTraits>;

// A dial in progress, as its notifications and its waiter see it. The system's callback finds it by the
// callback id the dial was given, the waiter and a hang-up by the connection handle; the waiter removes
// it, after which late notifications find nothing and stop.
struct DialNotice {
    std::shared_ptr<Event> ended;  // set once the dial has ended
    HRASCONN connection = nullptr;
    bool done = false;
    DWORD error = 0;  // once done: 0 connected, else the dial's error
};

struct DialNotices {
    std::mutex lock;
    std::map<ULONG_PTR, DialNotice> byId;
    ULONG_PTR nextId = 1;
};

DialNotices& Notices() {
    static DialNotices* notices = new DialNotices();  // outlives a notification that comes during exit
    return *notices;
}

// Under the lock.
DialNotice* FindByConnection(DialNotices& notices, HRASCONN connection, ULONG_PTR* id = nullptr) {
    for (auto& [key, notice] : notices.byId) {
        if (notice.connection != connection) continue;
        if (id) *id = key;
        return &notice;
    }
    return nullptr;
}

// Under the lock: the dial has ended; its waiter wakes.
void EndDial(DialNotice& notice, DWORD error) {
    if (notice.done) return;
    notice.done = true;
    notice.error = error;
    notice.ended->Set();
}

// The system's notification of a state change of a dial (RasDialFunc2). Returns 0 once nothing more is
// wanted: the dial has ended or its waiter has gone.
DWORD WINAPI OnDialNotice(ULONG_PTR callbackId, DWORD, HRASCONN, UINT, RASCONNSTATE state, DWORD error,
                          DWORD) {
    DialNotices& notices = Notices();
    std::lock_guard<std::mutex> guard(notices.lock);
    const auto it = notices.byId.find(callbackId);
    if (it == notices.byId.end()) return 0;
    if (error != 0) {
        EndDial(it->second, error);
        return 0;
    }
    if (state == RASCS_Connected) {
        EndDial(it->second, 0);
        return 0;
    }
    if (state == RASCS_Disconnected) {
        EndDial(it->second, ERROR_USER_DISCONNECTION);
        return 0;
    }
    return 1;
}

// Copies a text into a fixed field of a system structure; false when it does not fit.
bool CopyField(wchar_t* field, std::size_t capacity, std::u16string_view text) {
    if (text.size() >= capacity) return false;
    std::copy(text.begin(), text.end(), field);
    field[text.size()] = L'\0';
    return true;
}

template <std::size_t N>
bool CopyField(wchar_t (&field)[N], std::u16string_view text) {
    return CopyField(field, N, text);
}

}  // namespace

DialUpEntryResult WriteDialUpEntry(std::u16string_view phonebook, std::u16string_view name,
                                   const DialUpEntry& entry) {
    // The system tells the size of its default entry; a newer system's is larger than the structure
    // known here and is kept whole, with the fields beyond ours left zero.
    DWORD reported = 0;
    RasGetEntryPropertiesW(nullptr, L"", nullptr, &reported, nullptr, nullptr);
    const std::size_t size = std::max<std::size_t>(reported, sizeof(RasEntryWithMetric));
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
    if (!buffer) return {DialUpEntryStep::Allocate, ERROR_NOT_ENOUGH_MEMORY};
    std::memset(buffer.get(), 0, size);
    auto* ras = reinterpret_cast<RasEntryWithMetric*>(buffer.get());
    ras->base.dwSize =
        static_cast<DWORD>(reported >= sizeof(RasEntryWithMetric) ? reported : sizeof(RasEntryWithMetric));
    ras->base.dwType = entry.type;
    ras->base.dwfNetProtocols = entry.networkProtocols;
    ras->base.dwEncryptionType = entry.encryptionType;
    ras->base.dwVpnStrategy = entry.vpnStrategy;
    ras->base.dwfOptions = entry.options;
    ras->base.dwfOptions2 = entry.options2;
    ras->dwIPv4InterfaceMetric = entry.ipv4InterfaceMetric;
    ras->dwNetworkOutageTime = entry.networkOutageTime;
    if (!CopyField(ras->base.szLocalPhoneNumber, entry.localPhoneNumber) ||
        !CopyField(ras->base.szDeviceType, entry.deviceType) || name.size() > RAS_MaxEntryName)
        return {DialUpEntryStep::Write, ERROR_INVALID_PARAMETER};
    const std::u16string book(phonebook), entryName(name);
    const DWORD error = RasSetEntryPropertiesW(win32::Wide(book), win32::Wide(entryName), &ras->base,
                                               ras->base.dwSize, nullptr, 0);
    if (error != 0) return {DialUpEntryStep::Write, error};
    return {};
}

uint32_t SetDialUpPresharedKey(std::u16string_view phonebook, std::u16string_view name,
                               std::u16string_view key) {
    RASCREDENTIALSW credentials{};
    credentials.dwSize = sizeof(credentials);
    credentials.dwMask = RASCM_PreSharedKey;
    if (!CopyField(credentials.szPassword, key)) return ERROR_INVALID_PARAMETER;
    const std::u16string book(phonebook), entryName(name);
    const DWORD error = RasSetCredentialsW(win32::Wide(book), win32::Wide(entryName), &credentials, FALSE);
    SecureZeroMemory(&credentials, sizeof(credentials));
    return error;
}

uint32_t BeginDialUpEntry(std::u16string_view phonebook, std::u16string_view name, std::u16string_view user,
                          std::u16string_view password, DialUpHandle& handle) {
    handle = nullptr;
    RASDIALPARAMSW params{};
    params.dwSize = sizeof(params);
    if (!CopyField(params.szEntryName, name) || !CopyField(params.szUserName, user) ||
        !CopyField(params.szPassword, password))
        return ERROR_INVALID_PARAMETER;
    EventCreation created = OpenOrCreateEvent(u"", true, false);
    if (!created.event) return created.error;
    DialNotices& notices = Notices();
    ULONG_PTR id = 0;
    {
        std::lock_guard<std::mutex> guard(notices.lock);
        id = notices.nextId++;
        notices.byId[id].ended = std::move(created.event);
    }
    params.dwCallbackId = id;
    const std::u16string book(phonebook);
    CRasConnection connection;
    // The lock is not held here: the system may notify before the call returns.
    const RASDIALFUNC2 notifier = &OnDialNotice;  // notifier type 2
    const DWORD error = RasDialW(nullptr, win32::Wide(book), &params, 2, reinterpret_cast<LPVOID>(notifier),
                                 connection.Receive());
    SecureZeroMemory(&params, sizeof(params));
    std::lock_guard<std::mutex> guard(notices.lock);
    if (error != 0) {
        notices.byId.erase(id);
        return error;  // the owner hangs up what a dial that failed to start left open
    }
    notices.byId[id].connection = connection.Get();
    handle = connection.Release();
    return 0;
}

DialUpWaitResult WaitForDialUp(DialUpHandle handle, uint32_t waitMs, Event* stop) {
    const auto connection = static_cast<HRASCONN>(handle);
    DialNotices& notices = Notices();
    ULONG_PTR id = 0;
    std::shared_ptr<Event> ended;
    {
        std::lock_guard<std::mutex> guard(notices.lock);
        const DialNotice* notice = FindByConnection(notices, connection, &id);
        if (!notice) return {DialUpWaitEnd::Failed, ERROR_INVALID_HANDLE};
        ended = notice->ended;
    }
    Event* const events[] = {stop, ended.get()};
    const int signalled = WaitForAnyEvent(events, waitMs);
    std::lock_guard<std::mutex> guard(notices.lock);
    const auto it = notices.byId.find(id);
    if (it == notices.byId.end()) return {DialUpWaitEnd::Failed, ERROR_INVALID_HANDLE};  // a second wait
    DialUpWaitResult result;
    if (signalled == 0) {
        result = {DialUpWaitEnd::Stopped, 0};
    } else if (it->second.done) {
        result = it->second.error == 0 ? DialUpWaitResult{DialUpWaitEnd::Connected, 0}
                                       : DialUpWaitResult{DialUpWaitEnd::Failed, it->second.error};
    } else {
        result = {DialUpWaitEnd::TimedOut, 0};
    }
    notices.byId.erase(it);
    return result;
}

uint32_t GetDialUpState(DialUpHandle handle, uint32_t& state) {
    RASCONNSTATUSW status{};
    status.dwSize = sizeof(status);
    const DWORD error = RasGetConnectStatusW(static_cast<HRASCONN>(handle), &status);
    if (error == 0) state = static_cast<uint32_t>(status.rasconnstate);
    return error;
}

uint32_t HangUpDialUp(DialUpHandle handle, uint32_t waitMs) {
    const auto connection = static_cast<HRASCONN>(handle);
    {
        // A dial still in progress ends now: its waiter need not wait for a notification the hang-up
        // may never bring.
        DialNotices& notices = Notices();
        std::lock_guard<std::mutex> guard(notices.lock);
        if (DialNotice* notice = FindByConnection(notices, connection)) EndDial(*notice, ERROR_USER_DISCONNECTION);
    }
    return HangUpAndWait(connection, waitMs);
}

std::vector<DialUpConnectionInfo> ListDialUpConnections(uint32_t& error) {
    std::vector<RASCONNW> connections(1);
    connections[0].dwSize = sizeof(RASCONNW);
    DWORD bytes = sizeof(RASCONNW);
    DWORD count = 0;
    error = RasEnumConnectionsW(connections.data(), &bytes, &count);
    if (error == ERROR_BUFFER_TOO_SMALL) {
        connections.assign(bytes / sizeof(RASCONNW) + 1, tagRASCONNW{});
        for (RASCONNW& connection : connections) connection.dwSize = sizeof(RASCONNW);
        bytes = static_cast<DWORD>(connections.size() * sizeof(RASCONNW));
        error = RasEnumConnectionsW(connections.data(), &bytes, &count);
    }
    std::vector<DialUpConnectionInfo> list;
    if (error != 0) return list;
    for (DWORD i = 0; i < count && i < connections.size(); ++i)
        list.push_back({connections[i].hrasconn, win32::FromWide(connections[i].szEntryName)});
    return list;
}

std::u16string DialUpErrorText(uint32_t error) {
    // The dial-up layer knows its own numbers; a dial also fails with system numbers (1062: a service is
    // not running), whose text the system's message table holds.
    wchar_t text[512] = {};
    std::u16string result;
    if (RasGetErrorStringW(error, text, static_cast<DWORD>(std::size(text))) == 0)
        result = win32::FromWide(text);
    while (!result.empty() && (result.back() == u'\n' || result.back() == u'\r')) result.pop_back();
    return result.empty() ? win32::SystemMessageLine(error) : result;
}

}  // namespace platform
