// A download worker whose fetch is a script: each URL answers with a result
// code and the links its page yields, so that the manager and the worker's
// attempt loop can be tested without a network.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download_manager.h"
#include "engine/download_worker.h"
#include "engine/project_settings.h"

namespace testing_support {

struct ScriptedPage {
    ResultCode result = ERR_SUCCESS;
    std::vector<std::string> links;  // each an "a" link one level down
    // Waits for the worker's stop event and reports the stop as a socket
    // wait would.
    bool blockUntilStop = false;
    std::int32_t modificationTime = -1;
};

// Shared by every worker of a crawl: the pages and what was fetched.
class ScriptedSite {
public:
    void Add(const std::string& url, ScriptedPage page) { m_pages[url] = std::move(page); }

    ScriptedPage Lookup(const std::string& url) {
        std::scoped_lock lock(m_mutex);
        m_fetched.push_back(url);
        const auto found = m_pages.find(url);
        if (found == m_pages.end()) {
            return ScriptedPage{ERR_HTTP_CLIENT_ERROR, {}, false, -1};
        }
        return found->second;
    }

    std::vector<std::string> Fetched() {
        std::scoped_lock lock(m_mutex);
        return m_fetched;
    }
    void ClearFetched() {
        std::scoped_lock lock(m_mutex);
        m_fetched.clear();
    }

private:
    std::map<std::string, ScriptedPage> m_pages;
    std::mutex m_mutex;
    std::vector<std::string> m_fetched;
};

class ScriptedWorker : public CDownloadWorker {
public:
    ScriptedWorker(CProjectSettings& project, ScriptedSite& site)
        : CDownloadWorker(project), m_site(site) {}

    // A factory for CDownloadManager.
    static CDownloadManager::WorkerFactory Factory(ScriptedSite& site) {
        return [&site](CProjectSettings& project) -> std::unique_ptr<CDownloadWorker> {
            return std::make_unique<ScriptedWorker>(project, site);
        };
    }

protected:
    ResultCode DownloadOnce() override {
        const CDownloadTask task = CopyTask();
        const std::string url = task.item.GetUrl().GetSourceText();
        const ScriptedPage page = m_site.Lookup(url);
        if (page.blockUntilStop) {
            WaitForStop(INFINITE);
            return ERR_SOCKET_LOCAL_CLOSED;
        }
        if (page.modificationTime != -1 && page.modificationTime == task.knownModificationTime) {
            return ERR_NOT_MODIFIED;
        }
        CResponseInfo response;
        response.valid = true;
        response.url = task.item.GetUrl();
        response.modificationTime = page.modificationTime;
        response.modificationTimeKnown = page.modificationTime != -1;
        SetResponse(response);
        // A page that was read yields its links whatever the result: it may
        // have been read and refused, or read and not parsed to its end.
        CFoundLinks links;
        for (const std::string& text : page.links) {
            CUrl link;
            link.Parse(text);
            links.Add(link, task.item.GetLevel() + 1, true);
        }
        SetFoundLinks(std::move(links));
        if (page.result != ERR_SUCCESS) {
            return page.result;
        }
        SetSavedNames("local:" + url, "/saved/" + url, "stored:" + url);
        AddBytesReceived(static_cast<std::uint32_t>(url.size()));
        return ERR_SUCCESS;
    }

private:
    ScriptedSite& m_site;
};

}  // namespace testing_support
