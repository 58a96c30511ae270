#include "velksimlinkcheck.h"

#include "velksimerror.h"

#include "velkformat.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace velksim {

namespace fs = std::filesystem;

namespace {

// A path as one name, whatever the working folder and links to folders on the
// way: the folder resolved, the last name kept (the link itself is not
// followed).
fs::path Settled(const fs::path &path) {
    std::error_code error;
    fs::path folder = fs::weakly_canonical(path.parent_path(), error);
    return (error ? path.parent_path() : folder) / path.filename();
}

// The --link a process was started with, resolved against its working folder;
// empty when it was given none.
fs::path LinkOfProcess(const fs::path &process) {
    std::ifstream file(process / "cmdline", std::ios::binary);
    std::string argument;
    bool next = false;
    while (std::getline(file, argument, '\0')) {
        std::string given;
        if (next)
            given = argument;
        else if (argument.rfind("--link=", 0) == 0)
            given = argument.substr(7);
        next = argument == "--link";
        if (given.empty())
            continue;
        std::error_code error;
        fs::path folder = fs::read_symlink(process / "cwd", error);
        return Settled(fs::path(given).is_absolute() || error ? fs::path(given) : folder / given);
    }
    return {};
}

} // namespace

std::string LinkServedBy(const std::string &linkPath, const std::string &procRoot) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(linkPath, error)))
        return {};
    // A link left behind by a simulator that was killed names a device that
    // is gone, or one that nobody of our kind holds any more, or one that a
    // simulator started later holds behind a link of its own (the terminal's
    // number was given out again).
    const fs::path device = fs::read_symlink(linkPath, error);
    if (error || !fs::exists(device, error))
        return {};
    const fs::path link = Settled(fs::absolute(linkPath, error));
    const std::string self = std::to_string(::getpid());
    for (const fs::directory_entry &process : fs::directory_iterator(procRoot, error)) {
        const std::string pid = process.path().filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string name;
        std::getline(std::ifstream(process.path() / "comm"), name);
        if (name != "velksim" || LinkOfProcess(process.path()) != link)
            continue;
        std::error_code listing;
        for (const fs::directory_entry &fd : fs::directory_iterator(process.path() / "fd", listing)) {
            std::error_code reading;
            if (fs::read_symlink(fd.path(), reading) == device)
                return "process " + pid;
        }
    }
    return {};
}

void CheckLinkPath(const std::string &linkPath) {
    std::error_code error;
    const fs::path link = fs::absolute(linkPath, error);
    const fs::path folder = link.parent_path();
    // The link is made beside its name and renamed over it: the folder must
    // take new entries.
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw ESimUsage(Format("Cannot make the link %s: %s: %s", linkPath, folder.string(), std::strerror(errno)));
    if (const std::string holder = LinkServedBy(link.string()); !holder.empty())
        throw ESimUsage(Format("%s is the line of another velksim (%s): give another --link, or stop that one",
                               link.string(), holder));
}

} // namespace velksim
