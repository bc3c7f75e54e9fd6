#pragma once

#include <optional>

namespace tidewell {

// The arguments a Linux program answers by printing and exiting, --help and --version, answered before any
// application object exists: they need no display, no session bus and no running instance. Every other argument
// is left to main(), which takes it as a link URL.
//
// Returns the exit status when one of them was given (the answer is then on stdout), nothing otherwise.
std::optional<int> answerInformationalArguments(int argc, char* argv[]);

} // namespace tidewell
