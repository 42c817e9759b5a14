#pragma once
// Finds the alter events of running programs that use the trace library and
// sets them. Such an event is named "DiroDuzUvevo_AlterEvent_<tick count>_<PROGRAM>"
// in the session's namespace; the tick count is known only to the program, so
// the events are found by listing the session's named objects.
#include <windows.h>

#include <string>
#include <vector>

class CAlterEvents
{
public:
    // Lists the session's events for the upper-case program name. False, with
    // the reason in *pError, when the session's object folder cannot be read.
    static bool Find(const std::wstring& upperProgramName, std::vector<std::wstring>* pNames, std::wstring* pError);
    // Sets one event by name; false with the system's error.
    static bool Signal(const std::wstring& name, DWORD* pdwError);
    // Whether a name is an alter event of that program.
    static bool IsAlterEventName(const std::wstring& name, const std::wstring& upperProgramName);
};
