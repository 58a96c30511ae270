// The picture size editor and the module state it keeps for the uploads.
#include "ScreenupTest.h"

#include "SizeEditorModel.h"
#include "SizeEditorPresenter.h"
#include "frmSize.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {

class SizeEditorTest : public ScreenupTest {
protected:
    frmSize *Open() {
        editor = new frmSize(&owner);
        editor->show();
        return editor;
    }
    QLineEdit *Field(int i) { return Find<QLineEdit>(editor.data(), QStringLiteral("txtSize_%1").arg(i)); }
    void Press(const char *name) {
        Find<QPushButton>(editor.data(), QString::fromLatin1(name))->click();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void Type(const std::array<const char *, 4> &texts) {
        for (int i = 0; i < 4; ++i)
            Field(i)->setText(QString::fromLatin1(texts[static_cast<std::size_t>(i)]));
    }
    static std::array<int16_t, 4> Values(int16_t x, int16_t y, int16_t w, int16_t h) { return {x, y, w, h}; }

    QWidget owner;
    QPointer<frmSize> editor;
};

TEST_F(SizeEditorTest, FirstOpeningShowsZerosInADisabledFrame) {
    Open();
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Size"));
    auto *modify = Find<QCheckBox>(editor.data(), "Check1");
    auto *frame = Find<QGroupBox>(editor.data(), "Frame1");
    EXPECT_EQ(modify->text(), QStringLiteral("Modify"));
    EXPECT_FALSE(modify->isChecked());
    EXPECT_FALSE(frame->isEnabled());
    // The box is the window's, so the disabled frame leaves it usable.
    EXPECT_EQ(modify->parentWidget(), editor.data());
    EXPECT_TRUE(modify->isEnabled());
    const QStringList labels = {"Orig X", "Orig Y", "Width", "Height"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Find<QLabel>(frame, QStringLiteral("Label1_%1").arg(i))->text(), labels[i]);
        EXPECT_EQ(Field(i)->text(), QStringLiteral("0"));
        EXPECT_FALSE(Field(i)->isEnabled());
        EXPECT_EQ(Field(i)->parentWidget(), frame);
    }
    // Orig X and Orig Y on the first line, Width and Height on the second.
    EXPECT_EQ(Field(0)->y(), Field(1)->y());
    EXPECT_EQ(Field(2)->y(), Field(3)->y());
    EXPECT_GT(Field(2)->y(), Field(0)->y());
    EXPECT_EQ(Find<QPushButton>(editor.data(), "cmd1")->text(), QStringLiteral("oK"));
    EXPECT_EQ(Find<QPushButton>(editor.data(), "Command2")->text(), QStringLiteral("Cancel"));

    modify->click();
    EXPECT_TRUE(frame->isEnabled());
    EXPECT_TRUE(Field(3)->isEnabled());
    modify->click();
    EXPECT_FALSE(Field(3)->isEnabled());
}

TEST_F(SizeEditorTest, OkSetsTheFlagEvenWithModifyUnchecked) {
    Open();
    Press("cmd1");
    EXPECT_TRUE(editor.isNull());
    EXPECT_TRUE(mdlLoader::State().SizeModified);
    EXPECT_EQ(mdlLoader::State().SizeValues, Values(0, 0, 0, 0));

    // The next opening shows "Modify" checked and the fields enabled.
    Open();
    EXPECT_TRUE(Find<QCheckBox>(editor.data(), "Check1")->isChecked());
    EXPECT_TRUE(Field(0)->isEnabled());
}

TEST_F(SizeEditorTest, OkStoresTheValuesAndTheNextOpeningShowsThem) {
    Open();
    Find<QCheckBox>(editor.data(), "Check1")->click();
    Type({"300", " 12 ", "32767", "0"});
    Press("cmd1");
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_EQ(mdlLoader::State().SizeValues, Values(300, 12, 32767, 0));
    Open();
    EXPECT_EQ(Field(0)->text(), QStringLiteral("300"));
    EXPECT_EQ(Field(1)->text(), QStringLiteral("12"));
    EXPECT_EQ(Field(2)->text(), QStringLiteral("32767"));

    // Unchecking "Modify" and pressing "oK" still leaves the flag set: there
    // is no way back during the run.
    Find<QCheckBox>(editor.data(), "Check1")->click();
    Press("cmd1");
    EXPECT_TRUE(mdlLoader::State().SizeModified);
}

TEST_F(SizeEditorTest, CancelKeepsThePreviousValues) {
    mdlLoader::State().SizeModified = true;
    mdlLoader::State().SizeValues = Values(1, 2, 3, 4);
    Open();
    Type({"9", "9", "9", "9"});
    Press("Command2");
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(mdlLoader::State().SizeValues, Values(1, 2, 3, 4));
    Open();
    EXPECT_EQ(Field(3)->text(), QStringLiteral("4"));
}

TEST_F(SizeEditorTest, EnterInAFieldPressesOkAndEscPressesCancel) {
    // Enter on either key, in any field, accepts the values or refuses them as "oK" does.
    const struct {
        Qt::Key Key;
        int Field;
        std::array<const char *, 4> Texts;
        bool Accepted;
        std::array<int16_t, 4> Stored;
    } enters[] = {
        {Qt::Key_Return, 0, {"1", "2", "3", "4"}, true, Values(1, 2, 3, 4)},
        {Qt::Key_Enter, 3, {"5", "6", "7", "8"}, true, Values(5, 6, 7, 8)},
        {Qt::Key_Return, 2, {"9", "9", "x", "9"}, false, Values(5, 6, 7, 8)},
    };
    for (const auto &c : enters) {
        SCOPED_TRACE(c.Texts[0]);
        Open();
        Find<QCheckBox>(editor.data(), "Check1")->setChecked(true);
        Type(c.Texts);
        QTest::keyClick(Field(c.Field), c.Key);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(editor.isNull(), c.Accepted);
        EXPECT_EQ(prompts.Texts().size(), c.Accepted ? 0u : 1u);
        EXPECT_EQ(mdlLoader::State().SizeValues, c.Stored);
        if (!editor.isNull())
            Press("Command2");
    }

    // Esc, wherever the focus is, closes the editor and keeps what was stored.
    for (const char *focus : {"txtSize_1", "Check1", "cmd1"}) {
        SCOPED_TRACE(focus);
        Open();
        Type({"9", "9", "9", "9"});
        QTest::keyClick(Find<QWidget>(editor.data(), QString::fromLatin1(focus)), Qt::Key_Escape);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(editor.isNull());
        EXPECT_EQ(mdlLoader::State().SizeValues, Values(5, 6, 7, 8));
    }
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(SizeEditorTest, OkRefusesAFieldThatIsNotAWholeNumberInRange) {
    const struct {
        std::array<const char *, 4> Texts;
        const char *Named;
    } cases[] = {
        {{"", "0", "0", "0"}, "Orig X"},     {{"1", "abc", "0", "0"}, "Orig Y"},
        {{"1", "2", "32768", "0"}, "Width"}, {{"1", "2", "3", "-1"}, "Height"},
        {{"1", "2", "3.5", "0"}, "Width"},   {{"1", "2", "3", "99999999999"}, "Height"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Named);
        Open();
        Find<QCheckBox>(editor.data(), "Check1")->setChecked(true);
        Type(c.Texts);
        Press("cmd1");
        ASSERT_EQ(prompts.Messages.size(), 1u);
        EXPECT_TRUE(prompts.Messages[0].Text.startsWith(QString::fromLatin1(c.Named)))
            << prompts.Messages[0].Text.toStdString();
        prompts.Messages.clear();
        // Nothing is stored and the editor stays open with what was typed.
        EXPECT_FALSE(mdlLoader::State().SizeModified);
        EXPECT_EQ(mdlLoader::State().SizeValues, Values(0, 0, 0, 0));
        ASSERT_FALSE(editor.isNull());
        EXPECT_TRUE(editor->isVisible());
        Press("Command2");
    }
}

// The size editor's rules without a window: "oK" stores four whole numbers
// from 0 to 32767 and sets the flag whatever "Modify" says; a refusal names
// the field and gives it the keyboard only while the fields are enabled.
TEST(SizeEditorModelTest, OkStoresValuesInRangeAndNamesTheFirstRefusedField) {
    const struct {
        bool Modify;
        TSizeEditorModel::TTexts Texts;
        std::string Refusal; // empty: accepted
        std::optional<std::size_t> Focus;
    } cases[] = {
        {true, {"1", "0x20", "720", " 576 "}, "", std::nullopt},
        {false, {"0", "0", "0", "32767"}, "", std::nullopt},
        {true, {"1", "2", "32768", "4"}, "Width must be a whole number from 0 to 32767, not \"32768\"", 2},
        {false, {"x", "2", "3", "4"}, "Orig X must be", std::nullopt},
        {true, {"1", "2", "3", ""}, "Height must be a whole number from 0 to 32767, not empty", 3},
        {true, {"1", "-2", "3", "4"}, "Orig Y", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Texts[0] + "," + c.Texts[1] + "," + c.Texts[2] + "," + c.Texts[3]);
        TLoaderState state;
        state.SizeValues = {5, 6, 7, 8};
        TSizeEditorModel model(state);
        EXPECT_FALSE(model.Modify());
        EXPECT_EQ(model.StartTexts(), (TSizeEditorModel::TTexts{"5", "6", "7", "8"}));
        model.SetModify(c.Modify);
        EXPECT_EQ(model.FieldsEnabled(), c.Modify);
        const auto refusal = model.Accept(c.Texts);
        if (c.Refusal.empty()) {
            EXPECT_FALSE(refusal.has_value());
            EXPECT_TRUE(state.SizeModified);
            EXPECT_EQ(TSizeEditorModel(state).StartTexts()[0], std::to_string(state.SizeValues[0]));
            EXPECT_TRUE(TSizeEditorModel(state).Modify());
            continue;
        }
        ASSERT_TRUE(refusal.has_value());
        EXPECT_EQ(refusal->Message.rfind(c.Refusal, 0), 0u) << refusal->Message;
        EXPECT_EQ(refusal->Focus, c.Focus);
        EXPECT_FALSE(state.SizeModified);
        EXPECT_EQ(state.SizeValues, (std::array<int16_t, 4>{5, 6, 7, 8}));
    }
}

// A size editor window that records what the presenter asks of it.
class TRecordingSizeView final : public TSizeEditorView {
public:
    void EnableFields(bool enabled) override { Enabled = enabled; }
    std::u16string FieldText(std::size_t field) const override { return Texts.at(field); }
    void Warn(const std::string &utf8) override { Warnings.push_back(utf8); }
    void FocusField(std::size_t field) override { Focused = field; }
    void Close() override { Closed = true; }

    std::array<std::u16string, 4> Texts;
    std::optional<bool> Enabled;
    std::vector<std::string> Warnings;
    std::optional<std::size_t> Focused;
    bool Closed = false;
};

// What the editor's clicks do: "Modify" enables the fields; "oK" reads the
// fields as typed (UTF-8 for the rules), closes once they are stored, or
// warns, focuses the refused field while the fields are enabled, and stays.
TEST(SizeEditorPresenterTest, ModifyEnablesTheFieldsAndOkClosesOnlyWhenStored) {
    const struct {
        bool Modify;
        std::array<std::u16string, 4> Texts;
        bool Closed;
        std::optional<std::size_t> Focused;
        std::string Warning; // its start
    } cases[] = {
        {true, {u"1", u"2", u"3", u"4"}, true, std::nullopt, ""},
        {false, {u"1", u"2", u"3", u"4"}, true, std::nullopt, ""},
        {true,
         {u"1", u"2", u"\u00E93", u"4"},
         false,
         2,
         "Width must be a whole number from 0 to 32767, not \"\xC3\xA9"
         "3\""},
        {false, {u"1", u"x", u"3", u"4"}, false, std::nullopt, "Orig Y"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Warning);
        TLoaderState state;
        TRecordingSizeView view;
        view.Texts = c.Texts;
        TSizeEditorPresenter presenter(view, state);
        presenter.ShowFields();
        EXPECT_EQ(view.Enabled, false);
        presenter.ModifyClicked(c.Modify);
        EXPECT_EQ(view.Enabled, c.Modify);
        presenter.Ok();
        EXPECT_EQ(view.Closed, c.Closed);
        EXPECT_EQ(view.Focused, c.Focused);
        EXPECT_EQ(state.SizeModified, c.Closed);
        if (c.Warning.empty()) {
            EXPECT_TRUE(view.Warnings.empty());
            EXPECT_EQ(state.SizeValues, (std::array<int16_t, 4>{1, 2, 3, 4}));
        } else {
            ASSERT_EQ(view.Warnings.size(), 1u);
            EXPECT_EQ(view.Warnings[0].rfind(c.Warning, 0), 0u) << view.Warnings[0];
        }
    }
    TLoaderState state;
    TRecordingSizeView view;
    TSizeEditorPresenter(view, state).Cancel();
    EXPECT_TRUE(view.Closed);
    EXPECT_FALSE(state.SizeModified);
}

} // namespace
