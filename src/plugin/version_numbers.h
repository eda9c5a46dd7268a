// The plug-in's version number, the one place it is written: version_info.h, the
// DLL's version resource (com/NBLinout.rc.in) and CMake's project version read it.
// Plain macros, so that the resource compiler and CMake can read them too.
#pragma once

#define NBL_VERSION_MAJOR 1
#define NBL_VERSION_MINOR 0
#define NBL_VERSION_REVISION 4
