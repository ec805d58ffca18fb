// Trace lines: every failed platform call is reported on the debugger channel
// in one of three formats, naming the call, the source and the status.
#pragma once

#include "win32.h"

void nt_trace(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The source paths that trace lines name.
inline constexpr const char kSourceNtutil[] = "nt\\lib\\ntutil";
inline constexpr const char kSourceNtutilx[] = "nt\\lib\\ntutilx";
inline constexpr const char kSourceNtunpub[] = "nt\\lib\\ntunpub";

inline constexpr const char kTraceNt[] = "NT_TRACE: Call to %s() at %s\\%d failed with status=0x%x\n";
inline constexpr const char kTraceNtx[] = "NTX_TRACE: Call to %s() at %s\\%d failed with status=0x%x\n";
inline constexpr const char kTraceNtxArgument[] = "NTX_TRACE: Call to %s(%s) at %s\\%d failed with status=0x%x\n";

// A failed call in the NT utilities.
#define NT_TRACE_FAILURE(call, status) nt_trace(kTraceNt, call, kSourceNtutil, __LINE__, (unsigned)(status))
// A failed call in the extended utilities (source kSourceNtutilx or kSourceNtunpub).
#define NTX_TRACE_FAILURE(call, source, status) nt_trace(kTraceNtx, call, source, __LINE__, (unsigned)(status))
#define NTX_TRACE_FAILURE_ARG(call, argument, source, status) \
    nt_trace(kTraceNtxArgument, call, argument, source, __LINE__, (unsigned)(status))
