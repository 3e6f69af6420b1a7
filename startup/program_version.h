#pragma once
// The program's version as the build names it ("1.0.123.0 (abc1234)"); a build that names
// none gives "0.0.0.0".
#ifndef CLEANER_VERSION_TEXT
#define CLEANER_VERSION_TEXT "0.0.0.0"
#endif

inline constexpr char kProgramVersion[] = CLEANER_VERSION_TEXT;
