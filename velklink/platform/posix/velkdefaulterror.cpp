#include "velkdefaulterror.h"

#include "velkcodepage.h"

#include <cstdio>

void ShowDefaultError(const std::string &text) {
    std::string line = "Error: " + Cp1252ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
