// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <optional>

namespace tidewell {

// The arguments a Linux program answers by printing and exiting, --help and --version, answered before any
// application object exists: they need no display, no session bus and no running instance. Every other argument
// is left to main(), which takes it as a link URL.
//
// Returns the exit status when one of them was given (the answer is then on stdout), nothing otherwise.
std::optional<int> answerInformationalArguments(int argc, char* argv[]);

// Copies the arguments that may carry a device secret, and then overwrites their bytes in argv with NULs. argv is
// the process's own command line, which every account on the machine can read (ps, /proc/PID/cmdline) for as long
// as the process runs, and a link URL holds the secret in its fragment; so this runs first thing in main(), before
// anything slow and before Qt sees argv.
//
// Such an argument is every one that is neither an option (it starts with '-') nor the value that follows one of
// Qt's own options that take one (-platform NAME, -display NAME, ...), which stay in place for Qt to read. The
// copies come back in their order; a wiped argument stays in argv as an empty one.
QStringList takeLinkArguments(int argc, char* argv[]);

} // namespace tidewell
