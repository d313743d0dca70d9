// Symbol visibility for libwqxobj.
//
// The library is built with -fvisibility=hidden; only what is marked
// WQX_EXPORT is part of the shared object's interface. Internal helpers
// stay invisible so they can change without breaking the soname.
#ifndef WQX_EXPORT_H
#define WQX_EXPORT_H

#if defined(__GNUC__)
#define WQX_EXPORT __attribute__((visibility("default")))
#else
#define WQX_EXPORT
#endif

#endif
