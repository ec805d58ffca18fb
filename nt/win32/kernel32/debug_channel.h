// The debugger output channel behind OutputDebugStringA.  Lines go to
// $QUARN_TRACE ("stderr", "syslog" or a file path, appended) when it is set
// and are dropped otherwise, as debugger output is with no debugger attached.
#pragma once

#include <functional>
#include <string_view>

namespace quarn::win32 {

// An in-process listener that receives every text (tests use it); an empty
// function removes it.  Set it before other threads write.
void set_debug_listener(std::function<void(std::string_view)> listener);

}  // namespace quarn::win32
