// A global allocator that counts requests and makes a chosen request of the tool's own code
// fail, alone or with every later one, as a system out of memory would.
#pragma once
#include <string>

namespace failing_new {

// Makes the request numbered `from` (from 0) among those the tool's code makes fail with
// std::bad_alloc, and with `onwards` every later one too; -1 fails none but still counts.
// `toolCode` is any function of the library that holds the tool's code. The simulated system's
// requests never fail, but for the string loading's, as the Windows layer's string loading
// asks for memory too. False when the tool's library or the string loading cannot be found.
bool Arm(long from, void* toolCode, bool onwards = false);
void Disarm();
// Requests the tool's code made since Arm.
long ToolRequests();
// Number of the request that failed, or -1 when none did; and the tool's functions it was
// made from, innermost first.
long Failed();
std::string FailedWhere();

}  // namespace failing_new
