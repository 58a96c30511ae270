#include "ResourceRows.h"

#include "screenresources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Why the file cannot be read, or nothing when it can.
std::optional<std::string> Unreadable(const std::filesystem::path &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::string(std::strerror(errno));
    struct stat info {};
    const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    ::close(fd);
    if (folder)
        return std::string("it is a folder");
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
