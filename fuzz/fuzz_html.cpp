// Loads arbitrary bytes as a page through a file stream, walks it editing
// attributes the way link extraction does, saves it over the input and
// loads the saved page again.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "base/file_stream.h"
#include "html/html_document.h"

namespace {

class CEditingWalker : public CHtmlDocument {
protected:
    void OnNode(CHtmlNode& node) override {
        if (!node.IsElement()) {
            return;
        }
        const std::string href = node.GetAttribute("href");
        if (!href.empty()) {
            node.SetAttribute("href", "http://h/" + href);
        }
        if (node.GetNodeName() == "base") {
            node.RemoveAttribute("href");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("page", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        return 0;
    }
    {
        CFileStream stream;
        stream.Attach(fd, CFileStream::modeReadWrite);
        stream.Seek(0, CStream::kBegin);
        CEditingWalker page;
        if (page.Load(stream)) {
            page.Walk();
            page.GetTitle();
            stream.Seek(0, CStream::kBegin);
            page.Save(stream);
            stream.Flush();
            stream.SetLength(stream.GetPosition());
            stream.Seek(0, CStream::kBegin);
            CHtmlDocument saved;
            saved.Load(stream);
        }
    }
    ::close(fd);
    return 0;
}
