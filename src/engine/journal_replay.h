// Makes a journal's changes again over what the project file held: the
// download list, the task queue and the run state, so that a project reopens
// as it stood when its program was killed, short of the work in flight.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "engine/crawl_controller.h"
#include "engine/crawl_journal.h"
#include "engine/download_task.h"

// The payload of a Collected record: what the manager did with a worker's
// result.
std::string CollectedRecord(const CDownloadTask& task, std::int32_t modificationTime,
                            bool requeued);

class CJournalReplay {
public:
    CJournalReplay(CDownloadList& list, std::deque<CDownloadTask>& queue, ProjectRunState& state)
        : m_list(list), m_queue(queue), m_state(state) {}

    // False, changing nothing more, for a record that does not fit the list
    // it is made over; the records after it are not to be made either.
    bool Apply(const CJournalEntry& record);
    // The tasks that workers held go to the front of the queue, as a save
    // puts them; a crawl that was running comes back paused.
    void Finish();

private:
    void Apply(JournalRecord type, CStringStream& payload);
    void ApplyCollected(CStringStream& payload);
    // The task for the URL that a worker held, or failing that the first
    // one queued, leaves them; false when there is none.
    bool Settle(const std::string& urlText);
    CDownloadTask* FindHeld(const std::string& urlText);

    CDownloadList& m_list;
    std::deque<CDownloadTask>& m_queue;
    ProjectRunState& m_state;
    // In the order they were handed out.
    std::vector<CDownloadTask> m_held;
};
