// The palette editor against real palette files: what it shows, and the bytes
// it writes.
#include "ScreenupTest.h"

#include "ColorCell.h"
#include "PaletteEditorModel.h"
#include "PaletteEditorPresenter.h"
#include "frmPalette.h"

#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <functional>

namespace {

class PaletteEditorTest : public ScreenupTest {
protected:
    frmPalette *Open(const QString &path) {
        editor = new frmPalette(&owner);
        EXPECT_TRUE(editor->ShowForm(path));
        return editor;
    }
    TColorCell *Cell(int i) { return Find<TColorCell>(editor.data(), QStringLiteral("col_%1").arg(i)); }
    QSlider *Slider() { return Find<QSlider>(editor.data(), QStringLiteral("Slider1")); }
    // A double click as the window system delivers it: a click, then the
    // double click.
    void DoubleClick(int i) {
        QTest::mouseClick(Cell(i), Qt::LeftButton);
        QTest::mouseDClick(Cell(i), Qt::LeftButton);
    }
    void Press(const char *name) {
        Find<QPushButton>(editor.data(), QString::fromLatin1(name))->click();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TTempFolder folder;
    QWidget owner;
    QPointer<frmPalette> editor;
};

TEST_F(PaletteEditorTest, ShowsEveryEntryInAFourByFourGrid) {
    std::vector<uint8_t> bytes = Pattern(64, 0);
    bytes[20] = 0xFF, bytes[21] = 0x00, bytes[22] = 0x10, bytes[23] = 4; // entry 5
    Open(folder.QWrite("a.lut", bytes));
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Edit palette"));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(Find<QPushButton>(editor.data(), "Command1")->text(), QStringLiteral("&Ok"));
    EXPECT_EQ(Find<QPushButton>(editor.data(), "Command2")->text(), QStringLiteral("&Cancel"));
    EXPECT_EQ(Slider()->minimum(), 0);
    EXPECT_EQ(Slider()->maximum(), 5);
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        TColorCell *cell = Cell(i);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->parentWidget()->objectName(), QStringLiteral("Frame1"));
        // Reading order: element 4 x row + column.
        if (i % 4 != 0) {
            EXPECT_GT(cell->x(), Cell(i - 1)->x());
        }
        if (i >= 4) {
            EXPECT_GT(cell->y(), Cell(i - 4)->y());
        }
        EXPECT_EQ(cell->Raised(), i == 0);
    }
    EXPECT_EQ(Cell(5)->Color(), QColor(0xFF, 0x00, 0x10));
    EXPECT_EQ(Cell(5)->toolTip(), QStringLiteral(" rgb FF0010 "));
    EXPECT_EQ(Cell(5)->Tag(), QStringLiteral("4"));
    EXPECT_EQ(Cell(0)->toolTip(), QStringLiteral(" rgb 000102 "));
    EXPECT_EQ(Cell(0)->frameShadow(), QFrame::Raised);
    EXPECT_EQ(Cell(1)->frameShadow(), QFrame::Plain);

    QTest::mouseClick(Cell(5), Qt::LeftButton);
    EXPECT_EQ(editor->Model().Selected(), 5);
    EXPECT_TRUE(Cell(5)->Raised());
    EXPECT_FALSE(Cell(0)->Raised());
    EXPECT_EQ(Slider()->value(), 4);
}

TEST_F(PaletteEditorTest, SavingWithoutEditsChangesNoByte) {
    const std::vector<uint8_t> exact = Pattern(64, 7);
    const QString exactPath = folder.QWrite("exact.lut", exact);
    Open(exactPath);
    Press("Command1");
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(ReadBytes(exactPath), exact);

    // A longer file keeps every byte after offset 63.
    const std::vector<uint8_t> longer = Pattern(300, 3);
    const QString longerPath = folder.QWrite("long.lut", longer);
    Open(longerPath);
    QTest::mouseClick(Cell(2), Qt::LeftButton);
    Slider()->setValue(0);
    Press("Command1");
    std::vector<uint8_t> expected = longer;
    expected[4 * 2 + 3] = 0;
    EXPECT_EQ(ReadBytes(longerPath), expected);
}

TEST_F(PaletteEditorTest, AColourChangeWritesOnlyItsEntrysColourBytes) {
    const std::vector<uint8_t> original = Pattern(64, 0);
    const QString path = folder.QWrite("c.lut", original);
    Open(path);
    prompts.ColorAnswers.push_back(QColor(0x12, 0x34, 0x56));
    DoubleClick(5);
    ASSERT_EQ(prompts.ColorStarts.size(), 1u);
    EXPECT_EQ(prompts.ColorStarts[0], QColor(20, 21, 22)); // the cell's own colour
    EXPECT_EQ(editor->Model().Selected(), 5);
    EXPECT_EQ(Cell(5)->Color(), QColor(0x12, 0x34, 0x56));
    // The tool tip keeps the old values until a cell is selected.
    EXPECT_EQ(Cell(5)->toolTip(), QStringLiteral(" rgb 141516 "));
    QTest::mouseClick(Cell(5), Qt::LeftButton);
    EXPECT_EQ(Cell(5)->toolTip(), QStringLiteral(" rgb 123456 "));

    Press("Command1");
    std::vector<uint8_t> expected = original;
    expected[20] = 0x12, expected[21] = 0x34, expected[22] = 0x56;
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(PaletteEditorTest, MovingTheSliderWritesOnlyTheAlphaByte) {
    const std::vector<uint8_t> original = Pattern(64, 1);
    const QString path = folder.QWrite("s.lut", original);
    Open(path);
    QTest::mouseClick(Cell(5), Qt::LeftButton);
    Slider()->setValue(2);
    Press("Command1");
    std::vector<uint8_t> expected = original;
    expected[23] = 2;
    EXPECT_EQ(ReadBytes(path), expected);
}

// "Cancel" and Esc close the editor alike, and a cancelled colour dialog
// changes nothing either.
TEST_F(PaletteEditorTest, CancelEscAndACancelledColourDialogChangeNothing) {
    const std::vector<uint8_t> original = Pattern(64, 9);
    const QString path = folder.QWrite("k.lut", original);
    const std::function<void()> closers[] = {
        [&] { Press("Command2"); },
        [&] {
            QTest::keyClick(Slider(), Qt::Key_Escape);
            QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        },
    };
    for (const std::function<void()> &close : closers) {
        Open(path);
        prompts.ColorAnswers.push_back(std::nullopt);
        DoubleClick(3);
        EXPECT_EQ(Cell(3)->Color(), QColor(9 + 12, 9 + 13, 9 + 14));

        prompts.ColorAnswers.push_back(QColor(1, 2, 3));
        DoubleClick(3);
        Slider()->setValue(1);
        close();
        EXPECT_TRUE(editor.isNull());
        EXPECT_EQ(ReadBytes(path), original);
    }
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(PaletteEditorTest, AMissingFileIsRefusedAndNotCreated) {
    const QString path = folder.QPath() + QStringLiteral("/missing.lut");
    editor = new frmPalette(&owner);
    EXPECT_FALSE(editor->ShowForm(path));
    EXPECT_FALSE(editor->isVisible());
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_TRUE(prompts.Messages[0].Text.contains(path)) << prompts.Messages[0].Text.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(PaletteEditorTest, AShortFileShowsZerosForTheMissingEntries) {
    const std::vector<uint8_t> shortFile = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const QString path = folder.QWrite("short.lut", shortFile);
    Open(path);
    EXPECT_EQ(Cell(1)->Color(), QColor(5, 6, 7));
    EXPECT_EQ(Cell(2)->Color(), QColor(9, 10, 0)); // partly in the file
    for (int i = 3; i < 16; ++i) {
        EXPECT_EQ(Cell(i)->Color(), QColor(0, 0, 0)) << i;
        EXPECT_EQ(Cell(i)->Tag(), QStringLiteral("0")) << i;
    }
    Press("Command1");
    std::vector<uint8_t> expected(64, 0);
    std::copy(shortFile.begin(), shortFile.end(), expected.begin());
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(PaletteEditorTest, AnAlphaAboveFiveIsShownClampedAndKeptUnlessMoved) {
    std::vector<uint8_t> original = Pattern(64, 0);
    original[3] = 200;   // entry 0
    original[23] = 0x80; // entry 5
    const QString path = folder.QWrite("alpha.lut", original);
    Open(path);
    EXPECT_EQ(Slider()->value(), 5);
    EXPECT_EQ(Cell(0)->Tag(), QStringLiteral("200"));
    QTest::mouseClick(Cell(5), Qt::LeftButton);
    EXPECT_EQ(Slider()->value(), 5);
    QTest::mouseClick(Cell(0), Qt::LeftButton);
    Press("Command1");
    EXPECT_EQ(ReadBytes(path), original);

    // Moved, the slider's value is stored.
    Open(path);
    QTest::mouseClick(Cell(5), Qt::LeftButton);
    Slider()->setValue(3);
    Press("Command1");
    original[23] = 3;
    EXPECT_EQ(ReadBytes(path), original);
}

TEST_F(PaletteEditorTest, ShowFormAgainReloadsTheFile) {
    const QString first = folder.QWrite("one.lut", Pattern(64, 0));
    const QString second = folder.QWrite("two.lut", Pattern(64, 100));
    Open(first);
    Slider()->setValue(1); // unsaved, and lost
    EXPECT_TRUE(editor->ShowForm(second));
    EXPECT_EQ(QString::fromStdU16String(editor->Model().File().u16string()), second);
    EXPECT_EQ(Cell(0)->Color(), QColor(100, 101, 102));
    Press("Command1");
    EXPECT_EQ(ReadBytes(first), Pattern(64, 0));
    EXPECT_EQ(ReadBytes(second), Pattern(64, 100));
}

// The palette editor's rules without a window, step by step over one file:
// what the cells and the slider show, and the bytes "&Ok" writes.
TEST(PaletteEditorModelTest, StepsChangeWhatTheCellsShowAndWhatIsSaved) {
    TTempFolder folder;
    std::vector<uint8_t> bytes = Pattern(70, 0);
    bytes[23] = 9; // entry 5's alpha, above the slider's range
    const std::filesystem::path file = folder.Write("m.lut", bytes);
    TPaletteEditorModel model;
    ASSERT_FALSE(model.Load(file).has_value());
    using TModel = TPaletteEditorModel;
    const struct {
        const char *Step;
        std::function<void(TModel &)> Do;
        int Selected;
        TPaletteCell Cell5;
        int Slider;
    } steps[] = {
        {"loaded", [](TModel &) {}, 0, {20, 21, 22, "9", " rgb 141516 ", false}, 3},
        {"select 5", [](TModel &m) { m.Select(5); }, 5, {20, 21, 22, "9", " rgb 141516 ", true}, 5},
        // The colour shows at once; the tag and tip wait for a selection.
        {"colour",
         [](TModel &m) { m.SetColor(5, 0x12, 0x34, 0x56); },
         5,
         {0x12, 0x34, 0x56, "9", " rgb 141516 ", true},
         5},
        {"alpha", [](TModel &m) { m.SetAlpha(2); }, 5, {0x12, 0x34, 0x56, "9", " rgb 141516 ", true}, 2},
        {"select 1", [](TModel &m) { m.Select(1); }, 1, {0x12, 0x34, 0x56, "2", " rgb 123456 ", false}, 5},
        // A file that cannot be read leaves the model as it was.
        {"missing file",
         [&](TModel &m) { EXPECT_TRUE(m.Load(folder.Path() / "gone.lut").has_value()); },
         1,
         {0x12, 0x34, 0x56, "2", " rgb 123456 ", false},
         5},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.Step);
        step.Do(model);
        EXPECT_EQ(model.Selected(), step.Selected);
        EXPECT_EQ(model.Cell(5), step.Cell5);
        EXPECT_EQ(model.SliderValue(), step.Slider);
        EXPECT_EQ(model.Cell(step.Selected).Raised, true);
    }
    ASSERT_FALSE(model.Save().has_value());
    std::vector<uint8_t> expected = bytes;
    expected[20] = 0x12, expected[21] = 0x34, expected[22] = 0x56, expected[23] = 2;
    EXPECT_EQ(ReadBytes(file), expected);
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_TRUE(model.Save().has_value());
}

// A palette editor window that records what the presenter asks of it.
class TRecordingPaletteView final : public TPaletteEditorView {
public:
    void ShowCell(int entry, const TPaletteCell &cell) override { Cells.at(static_cast<std::size_t>(entry)) = cell; }
    void ShowAlpha(int value) override { Alpha = value; }
    std::optional<TRgb> ChooseColor(TRgb start) override {
        Starts.push_back(start);
        return Chosen;
    }
    void Warn(const std::string &utf8) override { Warnings.push_back(utf8); }
    void Present() override { Presented = true; }
    void Close() override { Closed = true; }

    std::array<TPaletteCell, PaletteEntryCount> Cells{};
    int Alpha = -1;
    std::vector<TRgb> Starts;
    std::optional<TRgb> Chosen;
    std::vector<std::string> Warnings;
    bool Presented = false;
    bool Closed = false;
};

// What the editor's clicks show and when it closes: a file it cannot read is
// refused before anything shows; the colour dialog starts from the cell's
// colour and a cancelled one changes nothing; "&Ok" closes only once the file
// is written.
TEST(PaletteEditorPresenterTest, ClicksShowTheModelAndCloseOnlyWhenDone) {
    TTempFolder folder;
    const std::filesystem::path file = folder.Write("p.lut", Pattern(64, 0));
    const std::filesystem::path gone = folder.Write("q.lut", Pattern(64, 0));
    using TPresenter = TPaletteEditorPresenter;
    const struct {
        const char *Name;
        std::optional<TRgb> Chosen;
        std::function<void(TPresenter &)> Do;
        bool Presented;
        std::size_t Warnings;
        bool Closed;
        TRgb Cell2; // what cell 2 shows afterwards
        int Alpha;
    } cases[] = {
        {"opened", std::nullopt, [&](TPresenter &p) { EXPECT_TRUE(p.Open(file)); }, true, 0, false, {8, 9, 10}, 3},
        {"refused",
         std::nullopt,
         [&](TPresenter &p) { EXPECT_FALSE(p.Open(folder.Path() / "no.lut")); },
         false,
         1,
         false,
         {0, 0, 0},
         -1},
        {"cancelled colour",
         std::nullopt,
         [&](TPresenter &p) {
             p.Open(file);
             p.PickColor(2);
         },
         true,
         0,
         false,
         {8, 9, 10},
         3},
        {"picked colour",
         TRgb{1, 2, 3},
         [&](TPresenter &p) {
             p.Open(file);
             p.PickColor(2);
         },
         true,
         0,
         false,
         {1, 2, 3},
         3},
        {"selected",
         std::nullopt,
         [&](TPresenter &p) {
             p.Open(file);
             p.Select(2);
         },
         true,
         0,
         false,
         {8, 9, 10},
         5},
        {"ok",
         std::nullopt,
         [&](TPresenter &p) {
             p.Open(file);
             p.Ok();
         },
         true,
         0,
         true,
         {8, 9, 10},
         3},
        {"ok refused",
         std::nullopt,
         [&](TPresenter &p) {
             p.Open(gone);
             std::filesystem::remove(gone);
             std::filesystem::create_directory(gone);
             p.Ok();
         },
         true,
         1,
         false,
         {8, 9, 10},
         3},
        {"cancel", std::nullopt, [](TPresenter &p) { p.Cancel(); }, false, 0, true, {0, 0, 0}, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TRecordingPaletteView view;
        view.Chosen = c.Chosen;
        TPresenter presenter(view);
        c.Do(presenter);
        EXPECT_EQ(view.Presented, c.Presented);
        EXPECT_EQ(view.Warnings.size(), c.Warnings);
        EXPECT_EQ(view.Closed, c.Closed);
        EXPECT_EQ((TRgb{view.Cells[2].Red, view.Cells[2].Green, view.Cells[2].Blue}), c.Cell2);
        EXPECT_EQ(view.Alpha, c.Alpha);
        for (const TRgb &start : view.Starts)
            EXPECT_EQ(start, (TRgb{8, 9, 10}));
    }
    EXPECT_EQ(ReadBytes(file), Pattern(64, 0));
}

} // namespace
