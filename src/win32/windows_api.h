// <windows.h> for the adapters. Its macros that would rename the ports' own methods
// (CreateDirectory, CopyFile, DeleteFile, WritePrivateProfileString, ...) are undone:
// the adapters call the wide or ANSI functions by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef ReplaceFile
#undef WritePrivateProfileString
