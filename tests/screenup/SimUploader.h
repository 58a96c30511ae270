// The uploader's main window connected to a decoder simulator running
// in-process on a pseudo-terminal, with what the window showed during an
// operation recorded: the steps of the upper progress bar, the percentages of
// the lower one and every line added to the debug list.
#pragma once

#include "ScreenupTest.h"

#include "velksim.h"

#include <functional>
#include <map>

class SimUploaderTest : public ScreenupTest {
protected:
    SimUploaderTest() = default;
    // A simulator set up as config says (its trace listener, say).
    explicit SimUploaderTest(velksim::TSimConfig config) : sim(std::move(config)) {}

    void SetUp() override;
    void TearDown() override;

    // Checks row's box and puts path in its path box.
    void Choose(int row, const QString &path);
    // Clicks "Upload" or "save" with the progress and the debug list watched.
    void ClickUpload();
    void ClickSave();
    // Runs action on the window thread during the next operation, from inside
    // the library's wait.
    void DuringOperation(std::function<void()> action);

    // The items of the decoder's record of that name, read from its flash.
    std::map<std::string, std::vector<uint8_t>> RecordItems(const std::string &record) const;
    // The decoder's traffic since the start, once it has handled everything.
    velksim::TSimCounters Traffic() const;
    bool Untouched() const;

    velksim::TDecoderSim sim;
    TTempFolder folder;
    std::unique_ptr<Form1> form;
    std::vector<int> steps;
    std::vector<int> percents;
    std::vector<QString> debugLines;

private:
    void Watch();

    QMetaObject::Connection debugWatch_;
};
