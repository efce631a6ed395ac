// The seven exported client functions of Velora.exe and Velora.dll, and their C aliases. They only turn
// the Windows types into the client API's; Velora.def exports them under the decorated names.
#include "app/velora_api.h"

#include <cstdint>

#include "api/ClientApi.h"
#include "auth/ErrorCatalogue.h"
#include "engine/ConnectWorker.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide characters are UTF-16 units");
static_assert(sizeof(unsigned long) == 4 && sizeof(long long) == 8, "the exported integer widths");

namespace {

const char16_t* In(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
char16_t* Out(wchar_t* text) {
    return reinterpret_cast<char16_t*>(text);
}

}  // namespace

int Init(const wchar_t* logFilePath, const wchar_t* resourceModuleName) {
    // The connect worker shows the orchestrator's refusals in the texts of the service's error catalogue.
    velora::SetServerErrorTextSource(&velora::serverErrorText);
    return velora::ApiInit(In(logFilePath), In(resourceModuleName));
}

void Exit() {
    velora::ApiExit();
}

unsigned long ValidateUser(const wchar_t* customerId, const wchar_t* userName, const wchar_t* password,
                           wchar_t* message, unsigned long long capacity) {
    return velora::ApiValidateUser(In(customerId), In(userName), In(password), Out(message), capacity);
}

unsigned long Connect(wchar_t* message, unsigned long long capacity) {
    return velora::ApiConnect(Out(message), capacity);
}

unsigned long Disconnect(wchar_t* message, unsigned long long capacity) {
    return velora::ApiDisconnect(Out(message), capacity);
}

int GetConnectionStep() {
    return velora::ApiGetConnectionStep();
}

int CheckStatus(long long* bytesSent, long long* bytesReceived) {
    return velora::ApiCheckStatus(reinterpret_cast<int64_t*>(bytesSent),
                                  reinterpret_cast<int64_t*>(bytesReceived));
}

extern "C" {

int VeloraInit(const wchar_t* logFilePath, const wchar_t* resourceModuleName) {
    return Init(logFilePath, resourceModuleName);
}
void VeloraExit(void) {
    Exit();
}
unsigned long VeloraValidateUser(const wchar_t* customerId, const wchar_t* userName, const wchar_t* password,
                                 wchar_t* message, unsigned long long capacity) {
    return ValidateUser(customerId, userName, password, message, capacity);
}
unsigned long VeloraConnect(wchar_t* message, unsigned long long capacity) {
    return Connect(message, capacity);
}
unsigned long VeloraDisconnect(wchar_t* message, unsigned long long capacity) {
    return Disconnect(message, capacity);
}
int VeloraGetConnectionStep(void) {
    return GetConnectionStep();
}
int VeloraCheckStatus(long long* bytesSent, long long* bytesReceived) {
    return CheckStatus(bytesSent, bytesReceived);
}

}  // extern "C"
