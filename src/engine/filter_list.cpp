#include "engine/filter_list.h"

#include <algorithm>

#include "base/stream.h"

CFilterList CFilterList::DefaultGroups() {
    CFilterList list;
    // The formats of today follow those of the first version; a stored
    // project keeps the list it was saved with.
    list.Append("Image", ".bmp;.gif;.jpg;.jpeg;.png;.svg;.webp;.avif;.ico", 0, 0, false);
    list.Append("Archive", ".zip;.rar;.arj;.gz;.z;.7z;.tar;.xz;.bz2;.tgz", 0, 0, false);
    list.Append("Document", ".doc;.pdf;.ps;.ppt;.docx;.xlsx;.pptx;.odt;.ods;.odp;.epub;.txt;.csv",
                0, 0, false);
    list.Append("Audio", ".wav;.mp3;.mid;.ogg;.flac;.m4a;.opus", 0, 0, false);
    list.Append("Video", ".avi;.mov;.mpeg;.mp4;.webm;.mkv;.m4v", 0, 0, false);
    list.Append("Other", "", 0, 0, false);
    return list;
}

void CFilterList::Append(std::string name, std::string_view extensionText, std::uint32_t minimumKb,
                         std::uint32_t maximumKb, bool enabled) {
    m_filters.emplace_back(std::move(name), extensionText, minimumKb, maximumKb, enabled);
}

void CFilterList::RemoveAt(std::size_t index) {
    if (index < m_filters.size()) {
        m_filters.erase(m_filters.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

bool CFilterList::AnyEnabled() const {
    return std::any_of(m_filters.begin(), m_filters.end(),
                       [](const CFileFilter& filter) { return filter.IsEnabled(); });
}

void CFilterList::Store(CStream& stream) const {
    stream << static_cast<std::uint32_t>(m_filters.size());
    for (const CFileFilter& filter : m_filters) {
        stream << filter.GetName() << filter.GetExtensionText() << filter.GetMinimumSize()
               << filter.GetMaximumSize() << filter.IsEnabled();
    }
}

void CFilterList::Load(CStream& stream) {
    std::uint32_t count = 0;
    stream >> count;
    CFilterList loaded;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name, extensionText;
        std::uint32_t minimumKb = 0, maximumKb = 0;
        bool enabled = false;
        stream >> name >> extensionText >> minimumKb >> maximumKb >> enabled;
        loaded.Append(std::move(name), extensionText, minimumKb, maximumKb, enabled);
    }
    *this = std::move(loaded);
}
