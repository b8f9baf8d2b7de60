#pragma once

#include "result.h"

#include <string>

namespace velmora::platform {

// Asks the desktop to "open" a folder or a file as the user would by
// double-clicking it: a program runs, a document opens in its program, a
// folder opens in the file browser. Does not wait. On Linux this hands the path
// to the desktop's opener (xdg-open) as one argument, never through a shell
// command line; a network path \\host\share\path is handed over as
// smb://host/share/path. The Status only says whether the opener could be
// started.
Status shellOpen(const std::string& path);

} // namespace velmora::platform
