// The GDI+ header with what the lean Windows headers leave out (the COM types it needs).
#pragma once
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
