#pragma once

namespace keldro {

// Runs start-up and exit for one invocation; returns the process exit code.
int runConverterApp(int argc, char** argv);

}  // namespace keldro
