// The main window: its controls, the enabling rules of the rows, the port list,
// "Load theme", the browse dialogs and the edit buttons.
#include "ScreenupTest.h"

#include "MainWindowModel.h"
#include "MainWindowPresenter.h"
#include "Utf8.h"
#include "WindowPlacement.h"
#include "frmPalette.h"
#include "frmSize.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

#include <functional>
#include <map>
#include <set>

namespace {

class MainWindowTest : public ScreenupTest {
protected:
    void SetUp() override {
        ScreenupTest::SetUp();
        form = std::make_unique<Form1>(TForm1Options{QString(), folder.QPath()});
        prompts.Messages.clear(); // whatever listing the system's ports said
    }
    void TearDown() override {
        form.reset();
        ScreenupTest::TearDown();
    }

    // Every control that row's check box governs.
    std::vector<QWidget *> RowControls(int row) const {
        std::vector<QWidget *> controls = {Find<QLineEdit>(form.get(), QStringLiteral("txtPath_%1").arg(row)),
                                           Find<QPushButton>(form.get(), QStringLiteral("btnbrw_%1").arg(row))};
        if (row >= 3)
            controls.push_back(Find<QPushButton>(form.get(), QStringLiteral("cmdEdit_%1").arg(row)));
        return controls;
    }
    static bool AllEnabled(const std::vector<QWidget *> &controls, bool enabled) {
        for (const QWidget *control : controls)
            if (control->isEnabled() != enabled)
                return false;
        return true;
    }

    TTempFolder folder;
    std::unique_ptr<Form1> form;
};

TEST_F(MainWindowTest, ControlsCarryTheirCaptionsAndNames) {
    form->show();
    EXPECT_EQ(form->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Pictor2 Screen Uploader"));
    const QStringList captions = {"boot", "radio", "setup", "setup lut", "bandeau", "basic lut"};
    auto *pictures = Find<QGroupBox>(form.get(), QStringLiteral("Frame2"));
    ASSERT_NE(pictures, nullptr);
    EXPECT_EQ(pictures->title(), QStringLiteral("Pictures"));
    for (int row = 0; row < 6; ++row) {
        SCOPED_TRACE(row);
        auto *check = Find<QCheckBox>(pictures, QStringLiteral("Check1_%1").arg(row));
        auto *path = Find<QLineEdit>(pictures, QStringLiteral("txtPath_%1").arg(row));
        auto *browse = Find<QPushButton>(pictures, QStringLiteral("btnbrw_%1").arg(row));
        ASSERT_TRUE(check && path && browse);
        EXPECT_EQ(check->text(), captions[row]);
        EXPECT_FALSE(check->isChecked());
        EXPECT_TRUE(path->text().isEmpty());
        EXPECT_EQ(browse->text(), QStringLiteral(".."));
        EXPECT_TRUE(AllEnabled(RowControls(row), false));
        auto *edit = pictures->findChild<QPushButton *>(QStringLiteral("cmdEdit_%1").arg(row));
        EXPECT_EQ(edit != nullptr, row >= 3);
        if (edit != nullptr) {
            EXPECT_EQ(edit->text(), QStringLiteral("Ed"));
        }
        // The rows stand top to bottom in index order.
        if (row > 0) {
            EXPECT_GT(check->y(), Find<QCheckBox>(pictures, QStringLiteral("Check1_%1").arg(row - 1))->y());
        }
    }
    EXPECT_EQ(Find<QPushButton>(form.get(), "Command2")->text(), QStringLiteral("Upload"));
    EXPECT_EQ(Find<QPushButton>(form.get(), "Command3")->text(), QStringLiteral("Load theme"));
    auto *debug = Find<QGroupBox>(form.get(), QStringLiteral("Frame1"));
    ASSERT_NE(debug, nullptr);
    EXPECT_EQ(debug->title(), QStringLiteral("Debug"));
    EXPECT_EQ(Find<QPushButton>(debug, "Command1")->text(), QStringLiteral("save"));
    EXPECT_EQ(Find<QListWidget>(debug, "lstDebug")->count(), 0);
    EXPECT_NE(Find<QStatusBar>(form.get(), "StatusBar1"), nullptr);

    // "Load theme", "Upload" and the port list down the left edge, the rows to
    // their right, the debug frame below both.
    const auto at = [&](const char *name) {
        auto *widget = Find<QWidget>(form.get(), QString::fromLatin1(name));
        return QRect(widget->mapTo(form.get(), QPoint(0, 0)), widget->size());
    };
    EXPECT_LT(at("Command3").top(), at("Command2").top());
    EXPECT_LT(at("Command2").top(), at("Combo1").top());
    EXPECT_GT(at("Frame2").left(), at("Command2").right());
    EXPECT_GT(at("Frame1").top(), at("Frame2").bottom());
    EXPECT_GT(at("Frame1").top(), at("Combo1").bottom());
    // Each row runs check box, path box, "..", "Ed"; the rows without "Ed"
    // have a wider path box, ending with "..", where the others' "Ed" stands.
    EXPECT_LT(at("Check1_3").right(), at("txtPath_3").left());
    EXPECT_LT(at("txtPath_3").right(), at("btnbrw_3").left());
    EXPECT_LT(at("btnbrw_3").right(), at("cmdEdit_3").left());
    EXPECT_GT(at("txtPath_0").width(), at("txtPath_3").width());
    EXPECT_EQ(at("btnbrw_0").right(), at("cmdEdit_3").right());
}

TEST_F(MainWindowTest, ACheckBoxEnablesOnlyItsOwnRow) {
    auto *radio = Find<QCheckBox>(form.get(), "Check1_1");
    radio->click();
    EXPECT_TRUE(AllEnabled(RowControls(1), true));
    for (int row : {0, 2, 3, 4, 5})
        EXPECT_TRUE(AllEnabled(RowControls(row), false)) << row;

    // Unchecking disables the row again and keeps its path.
    Find<QLineEdit>(form.get(), "txtPath_1")->setText(QStringLiteral("/some/radio.m2v"));
    radio->click();
    EXPECT_TRUE(AllEnabled(RowControls(1), false));
    EXPECT_EQ(Find<QLineEdit>(form.get(), "txtPath_1")->text(), QStringLiteral("/some/radio.m2v"));

    // "bandeau" also enables its edit button.
    Find<QCheckBox>(form.get(), "Check1_4")->click();
    EXPECT_TRUE(AllEnabled(RowControls(4), true));
    EXPECT_TRUE(AllEnabled(RowControls(5), false));
}

TEST_F(MainWindowTest, PortListStartsWithTheFourComPortsAndIsEditable) {
    auto *ports = Find<QComboBox>(form.get(), "Combo1");
    ASSERT_GE(ports->count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ports->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    EXPECT_EQ(ports->currentText(), QStringLiteral("COM1"));
    EXPECT_TRUE(ports->isEditable());
    // The system's ports follow, as device paths.
    for (int i = 4; i < ports->count(); ++i)
        EXPECT_TRUE(ports->itemText(i).startsWith(QStringLiteral("/dev/"))) << ports->itemText(i).toStdString();
}

TEST_F(MainWindowTest, PortOptionPutsTheNameFirstAndSelectsIt) {
    Form1 other(TForm1Options{QStringLiteral("/tmp/velk-line"), folder.QPath()});
    auto *ports = Find<QComboBox>(&other, "Combo1");
    EXPECT_EQ(ports->itemText(0), QStringLiteral("/tmp/velk-line"));
    EXPECT_EQ(ports->currentText(), QStringLiteral("/tmp/velk-line"));
    EXPECT_EQ(ports->itemText(1), QStringLiteral("COM1"));

    // A name already in the list moves to the front instead of appearing twice.
    Form1 third(TForm1Options{QStringLiteral("COM3"), folder.QPath()});
    auto *list = Find<QComboBox>(&third, "Combo1");
    EXPECT_EQ(list->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(list->findText(QStringLiteral("COM3")), 0);
    EXPECT_EQ(list->itemText(1), QStringLiteral("COM1"));
    EXPECT_EQ(list->itemText(3), QStringLiteral("COM4"));
}

TEST_F(MainWindowTest, LoadThemeOnlySaysNotYetAvailable) {
    Find<QPushButton>(form.get(), "Command3")->click();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Text, QStringLiteral("Not yet available"));
    EXPECT_EQ(prompts.Messages[0].Icon, QMessageBox::NoIcon);
    EXPECT_EQ(form->lstDebug->count(), 0);
}

TEST_F(MainWindowTest, BrowseUsesTheRowsDialogAndKeepsThePathOnCancel) {
    struct TCase {
        int Row;
        const char *Title;
        const char *Filter;
    };
    const TCase cases[] = {
        {0, "Choose Picture (must NO be packed)", "Mpeg2 files (*.fnu *.m2v)"},
        {2, "Choose Picture (must NO be packed)", "Mpeg2 files (*.fnu *.m2v)"},
        {3, "Choose Palette (must NO be packed)", "Palette files (*.lut)"},
        {4, "Choose Palette (MUST be packed)", "Pannels (*.pan)"},
        {5, "Choose Palette (must NO be packed)", "Palette files (*.lut)"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Row);
        Find<QCheckBox>(form.get(), QStringLiteral("Check1_%1").arg(c.Row))->click();
        auto *path = Find<QLineEdit>(form.get(), QStringLiteral("txtPath_%1").arg(c.Row));
        prompts.FileAnswers.push_back(QStringLiteral("/chosen/file%1").arg(c.Row));
        Find<QPushButton>(form.get(), QStringLiteral("btnbrw_%1").arg(c.Row))->click();
        ASSERT_FALSE(prompts.FileQuestions.empty());
        EXPECT_EQ(prompts.FileQuestions.back().Title, QString::fromLatin1(c.Title));
        EXPECT_EQ(prompts.FileQuestions.back().Filter, QString::fromLatin1(c.Filter));
        EXPECT_EQ(path->text(), QStringLiteral("/chosen/file%1").arg(c.Row));

        // Cancelled: the path stays, with no message.
        prompts.FileAnswers.push_back(std::nullopt);
        Find<QPushButton>(form.get(), QStringLiteral("btnbrw_%1").arg(c.Row))->click();
        EXPECT_EQ(prompts.FileQuestions.back().StartPath, QStringLiteral("/chosen/file%1").arg(c.Row));
        EXPECT_EQ(path->text(), QStringLiteral("/chosen/file%1").arg(c.Row));
    }
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(MainWindowTest, PaletteEditButtonNeedsAPath) {
    for (int row : {3, 5}) {
        SCOPED_TRACE(row);
        Find<QCheckBox>(form.get(), QStringLiteral("Check1_%1").arg(row))->click();
        Find<QPushButton>(form.get(), QStringLiteral("cmdEdit_%1").arg(row))->click();
        EXPECT_EQ(prompts.Texts(), std::vector<QString>{QStringLiteral("select a lut file first!")});
        EXPECT_EQ(form->PaletteEditor(), nullptr);
    }

    std::vector<uint8_t> lut = Pattern(64, 10);
    Find<QLineEdit>(form.get(), "txtPath_5")->setText(folder.QWrite("basic.lut", lut));
    Find<QPushButton>(form.get(), "cmdEdit_5")->click();
    EXPECT_TRUE(prompts.Messages.empty());
    frmPalette *editor = form->PaletteEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(QString::fromStdU16String(editor->Model().File().u16string()),
              Find<QLineEdit>(form.get(), "txtPath_5")->text());
    EXPECT_EQ(editor->Model().Palette()[0].Red, 10);

    // The other palette row reloads the one editor with its own file.
    lut[0] = 99;
    Find<QLineEdit>(form.get(), "txtPath_3")->setText(folder.QWrite("setup.lut", lut));
    Find<QPushButton>(form.get(), "cmdEdit_3")->click();
    EXPECT_EQ(form->PaletteEditor(), editor);
    EXPECT_EQ(form->findChildren<QWidget *>(QStringLiteral("frmPalette")).size(), 1);
    EXPECT_EQ(editor->Model().Palette()[0].Red, 99);
}

TEST_F(MainWindowTest, SizeEditButtonOpensOneSizeEditor) {
    Find<QCheckBox>(form.get(), "Check1_4")->click();
    Find<QPushButton>(form.get(), "cmdEdit_4")->click();
    frmSize *editor = form->SizeEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    // No path is needed; a second click brings the same editor forward and
    // keeps what was typed.
    editor->txtSize[2]->setText(QStringLiteral("123"));
    Find<QPushButton>(form.get(), "cmdEdit_4")->click();
    EXPECT_EQ(form->SizeEditor(), editor);
    EXPECT_EQ(editor->txtSize[2]->text(), QStringLiteral("123"));
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST(WindowPlacementTest, ASecondaryWindowLiesWhollyOnASmallScreenAndOffTheOthers) {
    const auto rect = [](const QRect &r) { return TPlaceRect{r.left(), r.top(), r.width(), r.height()}; };
    const auto place = [&](const QRect &owner, const QSize &size, const QRect &available,
                           const std::vector<QRect> &avoid) {
        std::vector<TPlaceRect> others;
        for (const QRect &other : avoid)
            others.push_back(rect(other));
        const TPlacePoint at = WindowPlacement(rect(owner), size.width(), size.height(), rect(available), others);
        return QPoint(at.X, at.Y);
    };
    // An 800 x 600 screen right of a first one, its top 30 pixels taken by a
    // panel, with the main window in its top-left corner.
    const QRect available(1920, 30, 800, 570);
    const QRect owner(1920, 30, 640, 440);
    const QSize progress(340, 110), palette(240, 260);

    // Beside the main window when there is room, on a large screen.
    EXPECT_EQ(place(owner, progress, QRect(1920, 30, 1600, 900), {}), QPoint(2568, 30));

    // No room to its right: the progress window goes below it.
    const QPoint atProgress = place(owner, progress, available, {});
    const QRect progressFrame(atProgress, progress);
    EXPECT_TRUE(available.contains(progressFrame));
    EXPECT_FALSE(progressFrame.intersects(owner));

    // The palette editor then opens off the progress window, on the screen.
    const QRect paletteFrame(place(owner, palette, available, {progressFrame}), palette);
    EXPECT_TRUE(available.contains(paletteFrame));
    EXPECT_FALSE(paletteFrame.intersects(progressFrame));
    // And the other way round.
    const QRect progressAfter(place(owner, progress, available, {paletteFrame}), progress);
    EXPECT_TRUE(available.contains(progressAfter));
    EXPECT_FALSE(progressAfter.intersects(paletteFrame));

    // A window larger than the screen keeps the screen's top and left edges.
    EXPECT_EQ(place(owner, QSize(900, 700), available, {}), available.topLeft());
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesTheOthers) {
    form->show();
    Find<QPushButton>(form.get(), "cmdEdit_4")->setEnabled(true);
    form->Presenter().Edit(4);
    Find<QLineEdit>(form.get(), "txtPath_3")->setText(folder.QWrite("setup.lut", Pattern(64)));
    form->Presenter().Edit(3);
    ASSERT_TRUE(form->SizeEditor() && form->PaletteEditor());
    form->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form->Presenter().Closing());
    EXPECT_EQ(form->SizeEditor(), nullptr);
    EXPECT_EQ(form->PaletteEditor(), nullptr);
}

// The main window's rules without a window: which controls a row enables,
// what "Ed" opens and when it asks for a file first, the rows an upload takes,
// and the encodings the library gets.
TEST(MainWindowModelTest, RowsDecideTheirControlsTheirEditorAndTheUploadsChoice) {
    const struct {
        std::size_t Row;
        bool Checked;
        std::u16string Path;
        bool HasEdit;
        TEditorKind Opens;
        std::string Note;
    } cases[] = {
        {0, true, u"boot.m2v", false, TEditorKind::None, ""},
        {2, false, u"", false, TEditorKind::None, ""},
        {3, true, u"", true, TEditorKind::None, "select a lut file first!"},
        {3, false, u"setup.lut", true, TEditorKind::Palette, ""},
        {4, false, u"", true, TEditorKind::Size, ""},
        {5, true, u"/tmp/\u00E9t\u00E9.lut", true, TEditorKind::Palette, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        TMainWindowModel model;
        model.SetChecked(c.Row, c.Checked);
        model.SetPath(c.Row, c.Path);
        EXPECT_EQ(model.RowEnabled(c.Row), c.Checked);
        EXPECT_EQ(TMainWindowModel::HasEditButton(c.Row), c.HasEdit);
        const TEditClick click = model.Edit(c.Row);
        EXPECT_EQ(click.Opens, c.Opens);
        EXPECT_EQ(click.Note, c.Note);
        const TResourceChoice choice = model.Rows()[c.Row];
        EXPECT_EQ(choice.Checked, c.Checked);
        EXPECT_EQ(choice.Path.u16string(), c.Path);
        if (c.Opens == TEditorKind::Palette) {
            EXPECT_EQ(click.File, choice.Path);
        }
        // A cancelled dialog keeps the path; a chosen file replaces it.
        EXPECT_FALSE(model.Chosen(c.Row, u""));
        EXPECT_EQ(model.Path(c.Row), c.Path);
        EXPECT_TRUE(model.Chosen(c.Row, u"other"));
        EXPECT_EQ(model.Path(c.Row), u"other");
    }

    TMainWindowModel model;
    EXPECT_TRUE(model.OperationsEnabled());
    model.SetBusy(true);
    EXPECT_FALSE(model.OperationsEnabled());
    EXPECT_TRUE(model.ShowsWriteProgress());
    model.Close();
    EXPECT_TRUE(model.Closing());
    EXPECT_FALSE(model.ShowsWriteProgress());
    // Port names go to the library in the file system's encoding.
    EXPECT_EQ(TMainWindowModel::PortName(u"/dev/tty\u00E9"), "/dev/tty\xC3\xA9");
    EXPECT_EQ(TMainWindowModel::PortName(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(TMainWindowModel::SettingsFile("/opt/s"), std::filesystem::path("/opt/s/set.bin"));
}

// A main window that records what the presenter asks of it, one line a call.
class TRecordingMainView final : public TMainWindowView {
public:
    void EnableRow(std::size_t row, bool enabled) override { Log("EnableRow", row, enabled); }
    void ShowPath(std::size_t row, const std::u16string &path) override { Log("ShowPath", row, Utf8(path)); }
    void EnableOperations(bool enabled) override { Log("EnableOperations", enabled); }
    std::u16string PortText() const override { return u"COM2"; }
    void ClearDebug() override { Log("ClearDebug"); }
    void AddDebugLine(const std::u16string &line) override { Log("AddDebugLine", Utf8(line)); }
    void Tell(TNotice kind, const std::string &utf8) override { Log("Tell", static_cast<int>(kind), utf8); }
    std::optional<std::u16string> ChooseFile(const TDialogInfo &, const std::u16string &start) override {
        Log("ChooseFile", Utf8(start));
        return Chosen;
    }
    bool HasWindow(TWindowKind window) const override { return Windows.contains(window); }
    bool MakeWindow(TWindowKind window) override {
        Log("MakeWindow", Name(window));
        if (!Makes)
            return false;
        Windows.insert(window);
        return true;
    }
    void Close(TWindowKind window) override {
        Log("Close", Name(window));
        Windows.erase(window);
        Shown.erase(window);
    }
    std::optional<TPlaceRect> ShownFrame(TWindowKind window) const override {
        const auto shown = Shown.find(window);
        return shown == Shown.end() ? std::nullopt : std::optional(shown->second);
    }
    void PlaceBeside(TWindowKind window, const std::vector<TPlaceRect> &avoid) override {
        std::string lefts;
        for (const TPlaceRect &frame : avoid)
            lefts += std::to_string(frame.Left) + ";";
        Log("PlaceBeside", Name(window), lefts);
    }
    void Show(TWindowKind window) override { Log("Show", Name(window)); }
    void SetProgressStep(int step) override { Log("SetProgressStep", step); }
    void SetProgressPercent(int percent) override { Log("SetProgressPercent", percent); }
    bool ShowPalette(const std::filesystem::path &file) override {
        Log("ShowPalette", file.string());
        return PaletteLoads;
    }

    static std::string Name(TWindowKind window) {
        return window == TWindowKind::Progress ? "progress" : window == TWindowKind::Palette ? "palette" : "size";
    }
    template <typename... T> void Log(const char *call, const T &...arguments) {
        std::string line = call;
        ((line += " " + Text(arguments)), ...);
        Calls.push_back(line);
    }
    static std::string Text(const std::string &text) { return text; }
    static std::string Text(const char *text) { return text; }
    template <typename T> static std::string Text(const T &value) { return std::to_string(value); }

    std::vector<std::string> Calls;
    std::set<TWindowKind> Windows;
    std::map<TWindowKind, TPlaceRect> Shown;
    bool Makes = true;
    bool PaletteLoads = true;
    std::optional<std::u16string> Chosen;
};

// What a click or a library event does to the main window's controls and to
// its secondary windows: which window is made, placed off the others showing,
// shown or closed, and what is refused.
TEST(MainWindowPresenterTest, ClicksAndEventsDecideTheWindowsAndTheControls) {
    using TView = TRecordingMainView;
    using TPresenter = TMainWindowPresenter;
    const TPlaceRect progressFrame{100, 0, 10, 10}, sizeFrame{200, 0, 10, 10}, paletteFrame{300, 0, 10, 10};
    const struct {
        const char *Name;
        std::function<void(TView &)> Before;
        std::function<void(TPresenter &)> Do;
        std::vector<std::string> Calls;
    } cases[] = {
        {"a checked row enables its controls",
         [](TView &) {},
         [](TPresenter &p) { p.RowChecked(4, true); },
         {"EnableRow 4 1"}},
        {"busy disables the operations",
         [](TView &) {},
         [](TPresenter &p) { p.SetBusy(true); },
         {"EnableOperations 0"}},
        {"a chosen file replaces the path",
         [](TView &v) { v.Chosen = u"/x/a.m2v"; },
         [](TPresenter &p) { p.Browse(1); },
         {"ChooseFile ", "ShowPath 1 /x/a.m2v"}},
        {"a cancelled dialog keeps the path", [](TView &) {}, [](TPresenter &p) { p.Browse(1); }, {"ChooseFile "}},
        {"a lut row without a file only says so",
         [](TView &) {},
         [](TPresenter &p) { p.Edit(3); },
         {"Tell 0 select a lut file first!"}},
        {"the size editor is made and placed off the windows showing",
         [&](TView &v) {
             v.Shown = {{TWindowKind::Progress, progressFrame}, {TWindowKind::Size, sizeFrame}};
         },
         [](TPresenter &p) { p.Edit(4); },
         {"MakeWindow size", "PlaceBeside size 100;", "Show size"}},
        {"an existing size editor only comes forward",
         [](TView &v) { v.Windows = {TWindowKind::Size}; },
         [](TPresenter &p) { p.Edit(4); },
         {"Show size"}},
        {"an editor that cannot be made opens nothing",
         [](TView &v) { v.Makes = false; },
         [](TPresenter &p) { p.Edit(4); },
         {"MakeWindow size"}},
        {"a palette editor made for a refused file goes again",
         [](TView &v) { v.PaletteLoads = false; },
         [](TPresenter &p) {
             p.PathEdited(5, u"b.lut");
             p.Edit(5);
         },
         {"MakeWindow palette", "PlaceBeside palette ", "ShowPalette b.lut", "Close palette"}},
        {"an existing palette editor stays after a refusal",
         [](TView &v) {
             v.Windows = {TWindowKind::Palette};
             v.PaletteLoads = false;
         },
         [](TPresenter &p) {
             p.PathEdited(3, u"s.lut");
             p.Edit(3);
         },
         {"ShowPalette s.lut"}},
        {"the upload's progress window opens at step 0, off the editors",
         [&](TView &v) {
             v.Shown = {{TWindowKind::Palette, paletteFrame}, {TWindowKind::Size, sizeFrame}};
         },
         [](TPresenter &p) { p.OpenProgress(); },
         {"MakeWindow progress", "SetProgressStep 0", "PlaceBeside progress 300;200;", "Show progress"}},
        {"a write's percentage makes the progress window hidden",
         [](TView &) {},
         [](TPresenter &p) { p.SetWritePercent(42); },
         {"MakeWindow progress", "SetProgressPercent 42"}},
        {"a percentage outside 0..100 leaves the bar",
         [](TView &v) { v.Windows = {TWindowKind::Progress}; },
         [](TPresenter &p) {
             p.SetWritePercent(101);
             p.SetWritePercent(-1);
         },
         {}},
        {"steps and the end of an upload need the window",
         [](TView &) {},
         [](TPresenter &p) {
             p.SetProgressStep(3);
             p.CloseProgress();
         },
         {}},
        {"closing closes every window and stops the progress",
         [](TView &v) {
             v.Windows = {TWindowKind::Progress, TWindowKind::Size};
         },
         [](TPresenter &p) {
             p.Close();
             p.SetWritePercent(50);
         },
         {"Close progress", "Close size"}},
        {"a library error is an error box",
         [](TView &) {},
         [](TPresenter &p) { p.ShowLibraryError(u"\u20AC gone"); },
         {"Tell 2 \xE2\x82\xAC gone"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TView view;
        c.Before(view);
        TPresenter presenter(view, "/opt/s");
        c.Do(presenter);
        EXPECT_EQ(view.Calls, c.Calls);
        EXPECT_EQ(presenter.PortName(), "COM2");
        EXPECT_EQ(presenter.SettingsFile(), std::filesystem::path("/opt/s/set.bin"));
    }
}

} // namespace
