#include "velkprocessend.h"

// A process that calls exit() keeps its threads running while the library's
// objects are freed, so the library always ends its own threads; at _exit()
// nothing of the library runs at all.
bool ProcessEnding() {
    return false;
}
