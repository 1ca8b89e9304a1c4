#include "engine/download_entry.h"

CUrl CDownloadEntry::GetUrl() const {
    CUrl url;
    url.Parse(m_urlText);
    return url;
}
