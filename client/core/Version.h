// The program's version, in one place for the version resource, the login window's version line and the
// connect request: plain macros, because the resource compiler reads them too.
#pragma once

#define VELORA_VERSION_MAJOR 1
#define VELORA_VERSION_MINOR 0
#define VELORA_VERSION_PATCH 0
#define VELORA_VERSION_BUILD 1
#define VELORA_VERSION_TEXT "1.0.0.1"
