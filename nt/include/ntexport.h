/* ntexport.h: marks the functions and variables that libquarnnt exports. */
#ifndef QUARN_NTEXPORT_H
#define QUARN_NTEXPORT_H

#if defined(QUARN_BUILDING_NT)
#define NT_API __attribute__((visibility("default")))
#else
#define NT_API
#endif

#endif /* QUARN_NTEXPORT_H */
