#include "ctlinterrupt.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <string_view>

namespace {

// A command makes at most a backup folder and its three files at once; the
// rest is room to spare.
constexpr std::size_t EntryCount = 16;
constexpr std::size_t PathCapacity = 4096;
constexpr std::size_t NoteCapacity = 2048;

struct TEntry {
    std::atomic<bool> Used{false};
    bool Folder = false;
    char Path[PathCapacity] = {};
};

std::array<TEntry, EntryCount> entries;
// Two buffers: the note is written into the one the handler does not read,
// then published by switching the index.
char notes[2][NoteCapacity];
std::atomic<int> note{-1};
std::atomic<velk_session *> cancelled{nullptr};
constexpr std::string_view Prefix = "velkctl: interrupted: ";

} // namespace

void TInterrupt::Install() {
    InstallHandler(&TInterrupt::Handle);
}

TInterrupt::TRemoval::TRemoval(const std::string &path, bool folder) {
    if (path.size() >= PathCapacity)
        return;
    for (std::size_t i = 0; i < EntryCount; ++i) {
        if (entries[i].Used.load())
            continue;
        entries[i].Folder = folder;
        std::memcpy(entries[i].Path, path.c_str(), path.size() + 1);
        entries[i].Used.store(true);
        entry_ = int(i);
        return;
    }
}

TInterrupt::TRemoval::~TRemoval() {
    if (entry_ >= 0)
        entries[std::size_t(entry_)].Used.store(false);
}

void TInterrupt::SetNote(const std::string &text) {
    if (text.empty()) {
        note.store(-1);
        return;
    }
    const int next = note.load() == 0 ? 1 : 0;
    const std::size_t length = std::min(text.size(), NoteCapacity - 1);
    std::memcpy(notes[next], text.data(), length);
    notes[next][length] = '\0';
    note.store(next);
}

void TInterrupt::CancelOnSignal(velk_session *session) {
    cancelled.store(session);
}

void TInterrupt::Handle(int signal) {
    // The library's call stops talking to the decoder; the process ends below.
    if (velk_session *session = cancelled.load())
        velk_cancel(session);
    // Files first, then the folders they were in.
    for (const bool folders : {false, true})
        for (TEntry &entry : entries)
            if (entry.Used.load() && entry.Folder == folders) {
                if (folders)
                    RemoveFolder(entry.Path);
                else
                    RemoveFile(entry.Path);
            }
    if (const int shown = note.load(); shown >= 0) {
        WriteError("\n", 1);
        WriteError(Prefix.data(), Prefix.size());
        WriteError(notes[shown], std::strlen(notes[shown]));
        WriteError("\n", 1);
    }
    EndBy(signal);
}
