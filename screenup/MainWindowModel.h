// TMainWindowModel: the main window without its windows. It holds the six
// resource rows as the user set them up, the busy and closing states, and
// decides what the buttons do; the front end draws the controls, hands each
// click and change here and shows what comes back.
//
// Rules:
// - a row's path box, ".." and "Ed" are enabled while its box is checked;
// - "Upload" and "save" are disabled while an operation runs;
// - "Ed" opens the size editor on row "bandeau", and the palette editor on the
//   two lut rows, which need a chosen file first ("select a lut file first!");
// - once the main window closes, the other windows close with it, and nothing
//   more (a progress window, a library call) is started for the operation
//   still running;
// - texts reach the library in its encodings: the port name in Windows-1252 on
//   Windows and in the file system's encoding (UTF-8) elsewhere.
#pragma once

#include "screenresources.h"
#include "screenupload.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

// What a click on a row's "Ed" leads to.
struct TEditClick {
    TEditorKind Opens = TEditorKind::None;
    std::filesystem::path File; // the palette file, for TEditorKind::Palette
    std::string Note;           // a note to show instead, when not empty
};

class TMainWindowModel {
public:
    // The rows, as their controls change.
    void SetChecked(std::size_t row, bool checked);
    void SetPath(std::size_t row, std::u16string path);
    bool Checked(std::size_t row) const { return rows_.at(row).Checked; }
    const std::u16string &Path(std::size_t row) const { return rows_.at(row).Path; }
    // The enabling rule of a row's path box, ".." and "Ed".
    bool RowEnabled(std::size_t row) const { return Checked(row); }
    // Rows 3, 4 and 5 have an "Ed" button.
    static bool HasEditButton(std::size_t row);
    // The rows as the upload takes them.
    std::array<TResourceChoice, ResourceCount> Rows() const;

    // "..": the dialog to show, starting from the row's path; a chosen file
    // replaces the path, a cancelled dialog (nothing or an empty name) keeps
    // it. True when the path changed.
    static const TDialogInfo &BrowseDialog(std::size_t row);
    bool Chosen(std::size_t row, const std::u16string &chosen);
    // "Ed".
    TEditClick Edit(std::size_t row) const;
    // "Load theme": only a note.
    static std::string_view LoadThemeNote() { return MsgNotYetAvailable; }

    // An operation that talks to the decoder runs.
    void SetBusy(bool busy) { busy_ = busy; }
    bool Busy() const { return busy_; }
    bool OperationsEnabled() const { return !busy_; }

    // The main window was closed.
    void Close() { closing_ = true; }
    bool Closing() const { return closing_; }
    // Whether a write's percentage may still create the progress window.
    bool ShowsWriteProgress() const { return !closing_; }

    // The port list's text as the library takes it.
    static std::string PortName(std::u16string_view text);
    // A path typed or chosen in the window, as the file system names it.
    static std::filesystem::path FilePath(std::u16string_view text);
    // "set.bin" in the program's folder.
    static std::filesystem::path SettingsFile(const std::filesystem::path &programFolder);

private:
    struct TRow {
        bool Checked = false;
        std::u16string Path;
    };
    std::array<TRow, ResourceCount> rows_{};
    bool busy_ = false;
    bool closing_ = false;
};
