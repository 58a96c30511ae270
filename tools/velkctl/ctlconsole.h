// TConsole: the terminal velkctl talks to. Its texts are UTF-8, so the
// console is set up for UTF-8 (and for the progress bar's line control) while
// the program runs, for std::cout and std::cerr; the streams can be asked
// whether they are a terminal and how wide it is.
#pragma once

#include <cstdio>
#include <memory>

class TConsole {
public:
    // Sets the console up; a console the program does not have is left alone.
    TConsole();
    // Puts back what the constructor changed.
    ~TConsole();
    TConsole(const TConsole &) = delete;
    TConsole &operator=(const TConsole &) = delete;

    // The stream is a terminal that takes the progress bar's line control.
    static bool IsTerminal(std::FILE *stream);
    // The terminal's width in columns; 80 when it cannot be told.
    static int Width(std::FILE *stream);

private:
    // What the constructor changed, to put back; nothing on Linux.
    struct TChanges;
    std::unique_ptr<TChanges> changes_;
};
