#include "engine/journal_replay.h"

#include <algorithm>

#include "base/errors.h"
#include "base/url.h"

namespace {

enum class Outcome : std::uint8_t { Saved = 1, Failed, Unchanged, Requeued };

CUrl ParsedUrl(const std::string& text) {
    CUrl url;
    url.Parse(text);
    if (!url.HasUrl()) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    return url;
}

Outcome OutcomeOf(const CDownloadTask& task, bool requeued) {
    if (task.success) {
        return Outcome::Saved;
    }
    if (requeued) {
        return Outcome::Requeued;
    }
    return task.resultCode == ERR_NOT_MODIFIED ? Outcome::Unchanged : Outcome::Failed;
}

}  // namespace

std::string CollectedRecord(const CDownloadTask& task, std::int32_t modificationTime,
                            bool requeued) {
    CStringStream payload;
    const Outcome outcome = OutcomeOf(task, requeued);
    payload << task.item.GetUrl().GetSourceText() << static_cast<std::uint8_t>(outcome);
    switch (outcome) {
        case Outcome::Saved:
            payload << task.storedPath << modificationTime << task.bytesReceived;
            break;
        case Outcome::Failed:
            payload << task.resultCode << task.fileRemoved << task.storedPath;
            break;
        case Outcome::Unchanged:
            break;
        case Outcome::Requeued:
            task.Store(payload);
            break;
    }
    return std::move(payload.Bytes());
}

bool CJournalReplay::Apply(const CJournalEntry& record) {
    CStringStream payload(record.payload);
    try {
        Apply(record.type, payload);
    } catch (const CStreamException&) {
        return false;
    }
    return payload.AtEnd();
}

void CJournalReplay::Apply(JournalRecord type, CStringStream& payload) {
    std::string urlText;
    switch (type) {
        case JournalRecord::Added: {
            std::int32_t level = 0;
            bool internal = false;
            payload >> urlText >> level >> internal;
            m_list.Add(ParsedUrl(urlText).GetSourceText(), level, internal);
            break;
        }
        case JournalRecord::Referenced: {
            std::uint32_t index = 0;
            payload >> index;
            if (!m_list.AddReference(index)) {
                ThrowStreamException(ERR_STREAM_DATA);
            }
            break;
        }
        case JournalRecord::HandedOut: {
            CDownloadTask& task = m_held.emplace_back();
            if (!m_list.Next(task.item)) {
                ThrowStreamException(ERR_STREAM_DATA);
            }
            task.knownModificationTime = m_list.GetKnownModTime(task.item.GetUrl());
            break;
        }
        case JournalRecord::Rewound:
            m_list.Rewind();
            break;
        case JournalRecord::Cleared:
            m_list.Clear();
            m_queue.clear();
            m_held.clear();
            break;
        case JournalRecord::Rewritten: {
            bool rewritten = false;
            payload >> urlText >> rewritten;
            m_list.SetRewritten(ParsedUrl(urlText), rewritten);
            break;
        }
        case JournalRecord::TakenFromQueue: {
            payload >> urlText;
            const auto queued = std::find_if(m_queue.begin(), m_queue.end(), [&](const auto& task) {
                return task.item.GetUrl().GetSourceText() == urlText;
            });
            if (queued == m_queue.end()) {
                ThrowStreamException(ERR_STREAM_DATA);
            }
            m_held.push_back(std::move(*queued));
            m_queue.erase(queued);
            break;
        }
        case JournalRecord::QueueCleared:
            m_queue.clear();
            m_held.clear();
            break;
        case JournalRecord::Collected:
            ApplyCollected(payload);
            break;
        case JournalRecord::Progress: {
            CDownloadTask task;
            task.Load(payload);
            const std::string& text = task.item.GetUrl().GetSourceText();
            CDownloadTask* held = FindHeld(text);
            const auto queued = std::find_if(m_queue.begin(), m_queue.end(), [&](const auto& t) {
                return t.item.GetUrl().GetSourceText() == text;
            });
            if (held != nullptr) {
                *held = std::move(task);
            } else if (queued != m_queue.end()) {
                *queued = std::move(task);
            }
            break;
        }
        case JournalRecord::Reopened:
            Finish();
            break;
        case JournalRecord::State: {
            std::int32_t state = 0;
            payload >> state;
            if (state < Stopped || state > Paused) {
                ThrowStreamException(ERR_STREAM_DATA);
            }
            m_state = static_cast<ProjectRunState>(state);
            break;
        }
    }
}

void CJournalReplay::ApplyCollected(CStringStream& payload) {
    std::string urlText;
    std::uint8_t outcome = 0;
    payload >> urlText >> outcome;
    const CUrl url = ParsedUrl(urlText);
    Settle(url.GetSourceText());
    switch (static_cast<Outcome>(outcome)) {
        case Outcome::Saved: {
            std::string storedPath;
            std::int32_t modificationTime = -1;
            std::int32_t bytesReceived = 0;
            payload >> storedPath >> modificationTime >> bytesReceived;
            m_list.MarkDone(url, std::move(storedPath), modificationTime, bytesReceived);
            break;
        }
        case Outcome::Failed: {
            ResultCode code = ERR_SUCCESS;
            bool fileRemoved = false;
            std::string storedPath;
            payload >> code >> fileRemoved >> storedPath;
            m_list.MarkError(url, code);
            if (fileRemoved) {
                m_list.ForgetFile(url, storedPath);
            }
            break;
        }
        case Outcome::Unchanged:
            break;
        case Outcome::Requeued: {
            CDownloadTask task;
            task.Load(payload);
            m_list.MarkError(url, task.resultCode);
            m_queue.push_back(std::move(task));
            break;
        }
        default:
            ThrowStreamException(ERR_STREAM_DATA);
    }
}

void CJournalReplay::Finish() {
    m_queue.insert(m_queue.begin(), std::make_move_iterator(m_held.begin()),
                   std::make_move_iterator(m_held.end()));
    m_held.clear();
    if (m_state == Running) {
        m_state = Paused;
    }
}

bool CJournalReplay::Settle(const std::string& urlText) {
    const auto matches = [&](const CDownloadTask& task) {
        return task.item.GetUrl().GetSourceText() == urlText;
    };
    const auto held = std::find_if(m_held.begin(), m_held.end(), matches);
    if (held != m_held.end()) {
        m_held.erase(held);
        return true;
    }
    const auto queued = std::find_if(m_queue.begin(), m_queue.end(), matches);
    if (queued != m_queue.end()) {
        m_queue.erase(queued);
        return true;
    }
    return false;
}

CDownloadTask* CJournalReplay::FindHeld(const std::string& urlText) {
    const auto held = std::find_if(m_held.begin(), m_held.end(), [&](const auto& task) {
        return task.item.GetUrl().GetSourceText() == urlText;
    });
    return held != m_held.end() ? &*held : nullptr;
}
