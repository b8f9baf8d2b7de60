#pragma once

#include "result.h"

#include <string>
#include <vector>

namespace velmora::platform {

// Starts a program with the given arguments and does not wait for it. The
// program is looked up on PATH unless it names a path; each argument reaches it
// unchanged, as one argument, without a shell. On Linux the program runs in a
// session of its own and is not a child of this process, so it leaves no zombie
// and outlives the program. The Status says whether the program could be
// started: it fails when the program cannot be found or executed.
Status startDetached(const std::string& program, const std::vector<std::string>& args);

// The same, giving the id of the started process.
Result<long> startDetachedProcess(const std::string& program, const std::vector<std::string>& args);

#ifndef _WIN32
// The file that exec would run for the program: the program itself when it
// names a path, else the first executable of that name on PATH; empty when
// there is none.
std::string findProgramOnPath(const std::string& program);
#endif

} // namespace velmora::platform
