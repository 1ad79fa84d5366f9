// How the add-in library marks the functions it exports: visible on Linux
// (everything else is hidden); on Windows the module definition file names them.
#pragma once

#if defined(_WIN32)
#define ZORVANE_EXPORT
#else
#define ZORVANE_EXPORT __attribute__((visibility("default")))
#endif
