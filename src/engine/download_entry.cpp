#include "engine/download_entry.h"

CUrl CDownloadEntry::GetUrl() const {
    CUrl url;
    url.Parse(m_urlText);
    return url;
}

CLinkItem CDownloadEntry::GetItem() const {
    CLinkItem item(GetUrl(), m_level, m_internal);
    item.SetRequisiteDepth(m_requisiteDepth);
    return item;
}
