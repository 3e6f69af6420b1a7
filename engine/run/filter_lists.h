#pragma once
// The filter lists of device classes (UpperFilters, LowerFilters under Control\Class\{...}):
// REG_MULTI_SZ values naming the services Windows loads above or below each device of the
// class. A class that lists a filter whose service is gone stops its devices from starting,
// and for a disk or volume class the machine does not boot: the name leaves every list before
// its service key goes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The names of a REG_MULTI_SZ value's data (UTF-16, each ended by a NUL, the list by another;
// a list that lacks its ends is read up to where it stops).
std::vector<std::wstring> MultiStringNames(const std::vector<unsigned char>& data);
// The data of a REG_MULTI_SZ value holding the names, in order.
std::vector<unsigned char> MultiStringData(const std::vector<std::wstring>& names);

// The data without every occurrence of the service's name (compared as the service manager
// compares names, without regard to letter case), everything else in its order; nullopt when
// the list does not name the service.
std::optional<std::vector<unsigned char>> WithoutFilter(const std::vector<unsigned char>& data, std::wstring_view service);

inline constexpr wchar_t kUpperFilters[] = L"UpperFilters";
inline constexpr wchar_t kLowerFilters[] = L"LowerFilters";
