#include "chm/compile_chm_file.h"

#include <optional>
#include <vector>

#include "chm/chm_builder.h"
#include "chm/chm_compilation.h"
#include "platform/message_target.h"
#include "platform/wait_event.h"

namespace {

// How often the loop looks whether the build's thread has ended.
constexpr std::uint32_t kEndPollMs = 100;

LRESULT Deliver(CChmProgressSink& sink, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CHM_BEGIN:
            sink.OnBegin(wParam, lParam);
            break;
        case WM_CHM_STEP:
            sink.OnStep(lParam);
            break;
        case WM_CHM_END:
            sink.OnEnd(static_cast<ResultCode>(wParam), lParam);
            break;
        default:
            break;
    }
    return 0;
}

bool IsSet(const CWaitEvent* event) {
    return event != nullptr && event->IsSet();
}

// Pumps the queue until the build has ended or cancel is set; true when it
// was cancelled. A cancel that comes with the build's last reports still
// counts, so that a cancelled command never replaces the target.
bool FollowBuild(CChmCompilation& compilation, CMessageQueue& queue, const CWaitEvent* cancel) {
    std::vector<const CWaitEvent*> events = {&queue.GetInputEvent()};
    if (cancel != nullptr) {
        events.push_back(cancel);
    }
    for (;;) {
        // Looked at before the pump, so that the pump after the end delivers
        // every report the build made.
        const bool ended = !compilation.IsRunning();
        queue.PumpMessages();
        if (IsSet(cancel)) {
            compilation.Cancel();
            return true;
        }
        if (ended) {
            return false;
        }
        WaitForAny(events, kEndPollMs);
    }
}

}  // namespace

CChmOutcome CompileChmFile(const CChmRequest& request, CChmProgressSink& sink,
                           const CWaitEvent* cancel) {
    std::optional<CMessageQueue> ownQueue;
    CMessageQueue* queue = CMessageQueue::Current();
    if (queue == nullptr) {
        queue = &ownQueue.emplace();
    }
    CMessageTarget window(*queue, [&sink](UINT message, WPARAM wParam, LPARAM lParam) {
        return Deliver(sink, message, wParam, lParam);
    });
    CChmOutcome outcome;
    CChmCompilation compilation(request.downloadFolder, request.target);
    outcome.started = compilation.Start(request.startUrl, request.startStoredPath, &window);
    if (!outcome.started) {
        return outcome;
    }
    outcome.cancelled = FollowBuild(compilation, *queue, cancel);
    outcome.targetWritten = compilation.Finish();
    outcome.result = compilation.GetResult();
    return outcome;
}
