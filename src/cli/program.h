#pragma once

namespace velmora::cli {

// velmora-cli: reads the command line, loads the server list and the file,
// picks the rows, runs the batch and returns the exit status (Rollout's).
int runCommandLine(int argc, char** argv);

} // namespace velmora::cli
