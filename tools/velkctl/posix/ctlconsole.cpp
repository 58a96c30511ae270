// A POSIX terminal takes UTF-8 and the line control as it is: nothing to set up.
#include "ctlconsole.h"

#include <sys/ioctl.h>
#include <unistd.h>

struct TConsole::TChanges {};

TConsole::TConsole() = default;

TConsole::~TConsole() = default;

bool TConsole::IsTerminal(std::FILE *stream) {
    return ::isatty(fileno(stream)) != 0;
}

int TConsole::Width(std::FILE *stream) {
    winsize size{};
    if (::ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        return size.ws_col;
    return 80;
}
