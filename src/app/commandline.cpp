// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace tidewell {

namespace {

constexpr auto usage = "Usage: tidewell [--background] [LINK-URL]\n"
                       "Shows the messages posted to your push-notification account and notifies you of new ones.\n"
                       "\n"
                       "A LINK-URL from the server (https://host/link#s=...) asks to link this computer to the\n"
                       "account. While Tidewell runs, launching it again brings its window back and hands the link\n"
                       "URL to it.\n"
                       "\n"
                       "Options:\n"
                       "      --background  start in the tray without showing the window (start at login)\n"
                       "  -h, --help        print this help and exit\n"
                       "      --version     print the version and exit\n";

// Qt's own options that read the next argument as their value (Qt accepts each with two dashes too). A value left
// in place is never a link URL: Qt consumes it along with its option.
constexpr std::array<std::string_view, 16> qtOptionsWithValue = { "-display", "-geometry", "-icon", "-name",
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle", "-session", "-style", "-stylesheet", "-title", "-visual" };

bool takesValue(std::string_view option)
{
    if (option.starts_with("--"))
        option.remove_prefix(1);
    return std::find(qtOptionsWithValue.begin(), qtOptionsWithValue.end(), option) != qtOptionsWithValue.end();
}

} // namespace

QStringList takeLinkArguments(int argc, char* argv[])
{
    QStringList taken;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            if (takesValue(argv[i]) && i + 1 < argc)
                ++i;
            continue;
        }
        taken.append(QString::fromLocal8Bit(argv[i]));
        std::memset(argv[i], 0, std::strlen(argv[i]));
    }
    return taken;
}

std::optional<int> answerInformationalArguments(int argc, char* argv[])
{
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        help = help || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
        version = version || std::strcmp(argv[i], "--version") == 0;
    }
    if (!help && !version)
        return std::nullopt;
    // Help wins when both are given, as with most Linux programs.
    const bool written = help ? std::fputs(usage, stdout) >= 0 : std::printf("tidewell %s\n", TIDEWELL_VERSION) >= 0;
    // A closed or full stdout is a failure worth an exit status, as it is for the core utilities.
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace tidewell
