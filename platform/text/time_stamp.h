#pragma once
// The trace log's time stamp, from the thread locale's patterns (Windows only).
#include <windows.h>

#include <string>

#include "platform/text/text_rules.h"

std::string TimeStamp();
// The locale facts of the stamp; TimeStamp reads them once, for the thread's locale.
TimeLocale ReadTimeLocale(LCID locale);
