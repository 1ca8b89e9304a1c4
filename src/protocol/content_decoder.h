// Undoes the content coding of a body as it arrives, whether the server
// applied it unasked or the client asked for it: gzip (x-gzip) and deflate,
// which servers send as zlib data or, against the standard, as raw deflate
// data. Decoded bytes leave through a fixed buffer, so memory stays flat
// however far the body expands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

class CStream;

class CContentDecoder {
public:
    enum class Coding { kIdentity, kGzip, kDeflate };

    static constexpr std::size_t kOutputBufferSize = 0x8000;

    // The coding that a Content-Encoding value names; none for a coding the
    // decoder does not know (br, zstd, compress, ...) or a chain of codings.
    static std::optional<Coding> ParseCoding(std::string_view value);

    // The decoded bytes go to output (not owned); more than limit of them
    // fail with ERR_HTTP_BODY_TOO_LARGE. coding must not be kIdentity.
    CContentDecoder(Coding coding, CStream& output, std::uint64_t limit);
    ~CContentDecoder();
    CContentDecoder(const CContentDecoder&) = delete;
    CContentDecoder& operator=(const CContentDecoder&) = delete;

    // Decodes the next bytes of the body; data that does not decode throws
    // CProtocolException with ERR_HTTP_CONTENT_CORRUPT.
    void Write(const void* data, std::size_t size);
    // The body ended: a compressed stream cut short is corrupt as well. An
    // empty body is an empty document.
    void Finish();

    std::uint64_t GetDecodedSize() const { return m_decoded; }

private:
    struct Inflater;

    // Deflate data announces zlib's wrapper in its first two bytes; without
    // it the data is taken for raw deflate.
    bool ChooseDeflateWrapper(const unsigned char*& data, std::size_t& size);
    void Inflate(const unsigned char* data, std::size_t size);
    void Emit(std::size_t count);

    Coding m_coding;
    CStream& m_output;
    std::uint64_t m_limit;
    std::uint64_t m_decoded = 0;
    std::unique_ptr<Inflater> m_inflater;
    std::unique_ptr<unsigned char[]> m_buffer;
    // The first byte of deflate data, held until the second tells its wrapper.
    std::optional<unsigned char> m_firstByte;
    bool m_anyInput = false;
    bool m_started = false;
    bool m_ended = false;
};
