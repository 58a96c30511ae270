#include "ResourceRows.h"

#include "screenresources.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace {

// Why the file cannot be read, or nothing when it can.
std::optional<std::string> Unreadable(const std::filesystem::path &path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return std::string("it is a folder");
    errno = 0;
    const std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::string(errno != 0 ? std::strerror(errno) : "it cannot be opened");
    return std::nullopt;
}

} // namespace

std::optional<std::string> ResourceRowRefusal(const TScreenSelection &selection) {
    for (std::size_t i = 0; i < ResourceCount; ++i) {
        const TResourceChoice &row = selection.Rows[i];
        if (!row.Checked)
            continue;
        const std::string name = "\"" + std::string(ScreenResource(i).Caption) + "\"";
        if (row.Path.empty())
            return "Cannot upload " + name + ": no file is chosen for it.";
        if (const auto reason = Unreadable(row.Path))
            return "Cannot upload " + name + ": the file \"" + row.Path.string() + "\" cannot be read (" + *reason +
                   ").";
    }
    return std::nullopt;
}
