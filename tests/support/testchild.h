// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>

#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <unistd.h>

// Makes a process a test starts its own child alone: it dies with the test, even when the test is killed outright
// (CTest's time-out), and inherits no descriptor but its three standard ones, so that nothing it holds (CTest's
// output, a build folder's lock) outlives the test. Call before start().
inline void startsAsTestChild(QProcess& process)
{
    process.setChildProcessModifier([] {
        // Runs between fork and exec: only calls that are safe there.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
            for (int fd = 3; fd < 1024; ++fd)
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    });
}
