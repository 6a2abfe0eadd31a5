// The few Windows names that log/'s headers use, for the native fuzz targets only:
// the parsers under test never call Windows.
#pragma once

#include <cstdint>

typedef struct HKEY__* HKEY;
typedef std::uint32_t DWORD;
