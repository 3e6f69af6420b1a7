#pragma once
// Taking a service's name out of the device classes' filter lists (filter_lists.h) on this
// machine, through the run's gateway: journaled by the backup, listed by the dry run.
#include <string>

struct CleanerContext;

// Takes the service's name out of the UpperFilters and LowerFilters of every device class of
// the control set (controlSet: "SYSTEM\CurrentControlSet" or a numbered one), each list keeping
// its type and every other name. True when no list names the service any more; false, with a
// line naming the list and why, when one could not be changed: the service must then stay.
bool RemoveFromFilterLists(CleanerContext& context, const std::string& controlSet, const std::wstring& service);

// Followed by the service, " - it could not be taken out of ", the list, ": " and the system's reason.
inline constexpr char kFilterStaysText[] = "Refused to delete filter service ";
