#pragma once

namespace velmora::app {

// How the program ends once its window has closed: copies that have begun to
// put their file in place finish first (copies still writing their temporary
// file are not waited for), the journal writes every line it holds, and the
// process ends with quick_exit, so that no static destructor runs under a
// worker thread that may still be writing.
[[noreturn]] void endProgram(int code);

} // namespace velmora::app
