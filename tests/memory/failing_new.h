// A global allocator that counts requests and makes one chosen request of the tool's own code
// fail, as a system out of memory would.
#pragma once
#include <string>

namespace failing_new {

// Makes the request numbered `from` (from 0) among those the tool's code makes fail with
// std::bad_alloc; requests of the simulated system and of the tests never fail. -1 fails
// none but still counts. `toolCode` is any function of the library that holds the tool's code.
void Arm(long from, void* toolCode);
void Disarm();
// Requests the tool's code made since Arm.
long ToolRequests();
// Number of the request that failed, or -1 when none did; and the tool's functions it was
// made from, innermost first.
long Failed();
std::string FailedWhere();

}  // namespace failing_new
