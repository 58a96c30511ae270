// The check that every checked resource row names a file that can be read,
// made before the port is opened so that nothing is sent for a row whose file
// is missing.
#pragma once

#include "screenupload.h"

#include <optional>
#include <string>

// The refusal of the first checked row without a readable file, naming the
// row and its path; nothing when every checked row has one.
std::optional<std::string> ResourceRowRefusal(const TScreenSelection &selection);
