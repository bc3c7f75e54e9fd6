#include "app/commandline.h"

#include <cstdio>
#include <cstring>

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

} // namespace

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
