// The frame of the window program's tests: one QApplication on Qt's offscreen
// platform for the whole test program, prompts that record every message and
// answer the file and colour dialogs from a queue (so no test ever waits for a
// modal window), module state back at program start, and helpers for files.
#pragma once

#include "Form1.h"
#include "TempFolder.h"
#include "UserPrompts.h"
#include "mdlLoader.h"

#include <QApplication>
#include <QColor>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TRecordingPrompts final : public TUserPrompts {
public:
    struct TFileQuestion {
        QString Title;
        QString Filter;
        QString StartPath;
    };

    void Message(QWidget *, const TMessage &message) override {
        Messages.push_back(message);
        if (OnMessage)
            OnMessage(message);
    }
    std::optional<QString> ChooseFile(QWidget *, const TFileChoice &choice) override {
        FileQuestions.push_back({choice.Title, choice.Filter, choice.StartPath});
        return Next(FileAnswers);
    }
    std::optional<QColor> ChooseColor(QWidget *, const QColor &start) override {
        ColorStarts.push_back(start);
        return Next(ColorAnswers);
    }

    // The texts shown since the last call.
    std::vector<QString> Texts() {
        std::vector<QString> texts;
        for (const TMessage &message : Messages)
            texts.push_back(message.Text);
        Messages.clear();
        return texts;
    }

    std::vector<TMessage> Messages;
    std::vector<TFileQuestion> FileQuestions;
    std::vector<QColor> ColorStarts;
    // Answers in order; an empty queue or a nullopt answers as a cancel.
    std::deque<std::optional<QString>> FileAnswers;
    std::deque<std::optional<QColor>> ColorAnswers;
    // Runs after a message is recorded, before Message returns: a test that
    // needs a real modal box opens one here.
    std::function<void(const TMessage &)> OnMessage;

private:
    template <typename T> static std::optional<T> Next(std::deque<std::optional<T>> &answers) {
        if (answers.empty())
            return std::nullopt;
        std::optional<T> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// A fresh folder, removed with its content.
// The tests' temporary folder, with Qt's forms of its paths.
class TTempFolder : public TempFolder {
public:
    QString QPath() const { return QString::fromStdString(Path().string()); }
    QString QWrite(const std::string &name, const std::vector<uint8_t> &bytes) const {
        return QString::fromStdString(Write(name, bytes).string());
    }
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path &file);
std::vector<uint8_t> ReadBytes(const QString &file);

class ScreenupTest : public ::testing::Test {
protected:
    void SetUp() override {
        mdlLoader::State() = {};
        SetPrompts(&prompts);
    }
    void TearDown() override { SetPrompts(nullptr); }

    // The child of root with that object name and type; fails the test when
    // there is none.
    template <typename T> static T *Find(const QObject *root, const QString &name) {
        T *found = root->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << "no " << name.toStdString();
        return found;
    }

    TRecordingPrompts prompts;
};
