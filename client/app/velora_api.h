/* The seven exported client functions. C++ callers use the first set (exported under the platform's
   decorated names); C callers use the Velora-prefixed aliases, which are exported by plain name. Texts
   are UTF-16; message buffers and their capacities are counted in UTF-16 units. */
#ifndef VELORA_API_H
#define VELORA_API_H

#include <wchar.h>

#ifdef __cplusplus
int Init(const wchar_t* logFilePath, const wchar_t* resourceModuleName);
void Exit();
unsigned long ValidateUser(const wchar_t* customerId, const wchar_t* userName, const wchar_t* password,
                           wchar_t* message, unsigned long long capacity);
unsigned long Connect(wchar_t* message, unsigned long long capacity);
unsigned long Disconnect(wchar_t* message, unsigned long long capacity);
int GetConnectionStep();
int CheckStatus(long long* bytesSent, long long* bytesReceived);

extern "C" {
#endif

int VeloraInit(const wchar_t* logFilePath, const wchar_t* resourceModuleName);
void VeloraExit(void);
unsigned long VeloraValidateUser(const wchar_t* customerId, const wchar_t* userName, const wchar_t* password,
                                 wchar_t* message, unsigned long long capacity);
unsigned long VeloraConnect(wchar_t* message, unsigned long long capacity);
unsigned long VeloraDisconnect(wchar_t* message, unsigned long long capacity);
int VeloraGetConnectionStep(void);
int VeloraCheckStatus(long long* bytesSent, long long* bytesReceived);

#ifdef __cplusplus
}
#endif

#endif
