// The Win32 layer as the library sees it: what <windows.h> would give it.
#pragma once

#include "advapi.h"
#include "winbase.h"
#include "winerror.h"
#include "winreg.h"
