// The main window's two operations that talk to the decoder, "Upload" and
// "save", over what the main window of either front end provides. Each runs
// from its click to its end inside one library scope; the window stays
// responsive meanwhile because the library serves the window system while it
// waits.
#pragma once

#include "screenupload.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

enum class TNotice {
    Note,    // no icon, caption "screenup"
    Warning, // a refusal of the user's input: the warning icon, caption "screenup"
    Error,   // the error icon, caption "Error"
};
// The caption of a message of that kind.
std::string_view NoticeCaption(TNotice kind);

class TUploaderWindow {
public:
    virtual ~TUploaderWindow() = default;
    // The six rows as the user set them up.
    virtual std::array<TResourceChoice, ResourceCount> Rows() const = 0;
    // The text of the port list, as the library takes it.
    virtual std::string PortName() const = 0;
    // "set.bin" in the program's folder.
    virtual std::filesystem::path SettingsFile() const = 0;
    // The main window was closed: the operation asks the library for nothing more.
    virtual bool Closing() const = 0;
    // An operation starts (true) or ends; "Upload" and "save" are disabled
    // while one runs, so a second library scope is never opened inside the first.
    virtual void SetBusy(bool busy) = 0;
    // A message with one OK button; utf8 is the text.
    virtual void Tell(TNotice kind, const std::string &utf8) = 0;
    // Shows the progress window beside the main window, its upper bar at 0.
    virtual void OpenProgress() = 0;
    virtual void SetProgressStep(int step) = 0;
    virtual void CloseProgress() = 0;
};

// The rows with the size editor's values of the module state.
TScreenSelection UploaderSelection(const std::array<TResourceChoice, ResourceCount> &rows);

// "Upload": refuses a checked row without a readable regular file (see
// CheckChosenFiles), a set over 64000 bytes and size values out of range
// before the port is opened; then, in a library scope, refreshes and saves the
// settings item and every checked row, each with a write of its own.
void RunUploadOperation(TUploaderWindow &window);
// "save": in a library scope, the settings dump into SettingsFile().
void RunSaveOperation(TUploaderWindow &window);
// Whether either operation is running.
bool OperationRunning();
