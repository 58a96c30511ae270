#include "UploaderOperations.h"

#include "LibraryScope.h"
#include "LibrarySettingsSource.h"
#include "LibraryUpload.h"
#include "ScreenupTexts.h"
#include "mdlLoader.h"
#include "screenerror.h"

namespace {

bool g_running = false;

// The window's busy state and the running flag for one operation.
class TRunning {
public:
    explicit TRunning(TUploaderWindow &window) : window_(window) {
        g_running = true;
        window_.SetBusy(true);
    }
    ~TRunning() {
        window_.SetBusy(false);
        g_running = false;
    }
    TRunning(const TRunning &) = delete;
    TRunning &operator=(const TRunning &) = delete;

private:
    TUploaderWindow &window_;
};

bool CannotStart() {
    return g_running || TLibraryScope::Open();
}

} // namespace

std::string_view NoticeCaption(TNotice kind) {
    return kind == TNotice::Error ? ErrorCaption : MessageCaption;
}

bool OperationRunning() {
    return g_running;
}

TScreenSelection UploaderSelection(const std::array<TResourceChoice, ResourceCount> &rows) {
    TScreenSelection selection;
    selection.Rows = rows;
    const TLoaderState &state = mdlLoader::State();
    selection.Size.Modified = state.SizeModified;
    for (std::size_t i = 0; i < state.SizeValues.size(); ++i)
        selection.Size.Values[i] = state.SizeValues[i];
    return selection;
}

void RunUploadOperation(TUploaderWindow &window) {
    if (CannotStart())
        return;
    const TScreenSelection selection = UploaderSelection(window.Rows());
    TUploadPlan plan;
    try {
        plan = MakeUploadPlan(selection);
    } catch (const ESizeExceeded &) {
        window.Tell(TNotice::Error, std::string(MsgSizeExceeded));
        return;
    } catch (const EScreenSet &error) {
        window.Tell(TNotice::Warning, error.what());
        return;
    }

    const TRunning running(window);
    const TLibraryScope scope(window.PortName());
    if (scope.Connected() && !window.Closing()) {
        window.OpenProgress();
        TLibraryUploadTarget target([&window](int step) { window.SetProgressStep(step); },
                                    [&window] { return window.Closing(); });
        RunUpload(plan, target, TUploadWrite::PerItem);
    }
    // The progress window closes before the library scope does.
    window.CloseProgress();
}

void RunSaveOperation(TUploaderWindow &window) {
    if (CannotStart())
        return;
    const TRunning running(window);
    TLibraryScope scope(window.PortName());
    if (!scope.Connected() || window.Closing())
        return;
    try {
        TLibrarySettingsSource source([&window] { return window.Closing(); });
        const TDumpResult result = RunSettingsDump(source, window.SettingsFile());
        if (!result.Message().empty() && !window.Closing())
            window.Tell(TNotice::Note, std::string(result.Message()));
    } catch (const EScreenSet &error) {
        window.Tell(TNotice::Warning, error.what());
    }
}
