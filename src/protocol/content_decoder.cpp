#include "protocol/content_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/stream.h"
#include "protocol/header_text.h"

namespace {

// zlib's window bits: the widest window, read inside a gzip or zlib wrapper
// (told apart by their first bytes), inside a zlib wrapper only, or bare.
constexpr int kGzipOrZlibWindow = MAX_WBITS + 32;
constexpr int kZlibWindow = MAX_WBITS;
constexpr int kRawWindow = -MAX_WBITS;

// RFC 1950: the method in the low nibble of the first byte is 8 (deflate),
// and the first two bytes read as one number are a multiple of 31.
bool IsZlibHeader(unsigned char first, unsigned char second) {
    constexpr unsigned kDeflateMethod = 8;
    constexpr unsigned kCheckDivisor = 31;
    return (first & 0x0Fu) == kDeflateMethod && ((first << 8u) | second) % kCheckDivisor == 0;
}

std::optional<CContentDecoder::Coding> CodingOf(std::string_view name) {
    if (EqualsIgnoreCase(name, "gzip") || EqualsIgnoreCase(name, "x-gzip")) {
        return CContentDecoder::Coding::kGzip;
    }
    if (EqualsIgnoreCase(name, "deflate")) {
        return CContentDecoder::Coding::kDeflate;
    }
    return std::nullopt;
}

}  // namespace

struct CContentDecoder::Inflater {
    z_stream stream{};
    bool open = false;

    Inflater() = default;
    ~Inflater() {
        if (open) {
            inflateEnd(&stream);
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void Open(int windowBits) {
        if (inflateInit2(&stream, windowBits) != Z_OK) {
            throw std::bad_alloc();
        }
        open = true;
    }
};

std::optional<CContentDecoder::Coding> CContentDecoder::ParseCoding(std::string_view value) {
    std::optional<Coding> found = Coding::kIdentity;
    while (!value.empty()) {
        const std::size_t comma = std::min(value.find(','), value.size());
        const std::string_view name = TrimHeaderSpace(value.substr(0, comma));
        value.remove_prefix(std::min(comma + 1, value.size()));
        if (name.empty() || EqualsIgnoreCase(name, "identity")) {
            continue;
        }
        // Two codings would have to be undone in turn; servers do not send
        // them, and no second decoder is worth it.
        if (found != Coding::kIdentity) {
            return std::nullopt;
        }
        found = CodingOf(name);
        if (!found) {
            return std::nullopt;
        }
    }
    return found;
}

CContentDecoder::CContentDecoder(Coding coding, CStream& output, std::uint64_t limit)
    : m_coding(coding),
      m_output(output),
      m_limit(limit),
      m_inflater(std::make_unique<Inflater>()),
      m_buffer(std::make_unique_for_overwrite<unsigned char[]>(kOutputBufferSize)) {
    if (m_coding == Coding::kGzip) {
        // Some servers label zlib data gzip; the wrapper's bytes tell.
        m_inflater->Open(kGzipOrZlibWindow);
        m_started = true;
    }
}

CContentDecoder::~CContentDecoder() = default;

void CContentDecoder::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size == 0) {
        return;
    }
    m_anyInput = true;
    if (!m_started && !ChooseDeflateWrapper(bytes, size)) {
        return;
    }
    Inflate(bytes, size);
}

bool CContentDecoder::ChooseDeflateWrapper(const unsigned char*& data, std::size_t& size) {
    if (!m_firstByte) {
        m_firstByte = *data++;
        if (--size == 0) {
            return false;
        }
    }
    m_inflater->Open(IsZlibHeader(*m_firstByte, *data) ? kZlibWindow : kRawWindow);
    m_started = true;
    const unsigned char first = *m_firstByte;
    Inflate(&first, 1);
    return true;
}

void CContentDecoder::Inflate(const unsigned char* data, std::size_t size) {
    z_stream& stream = m_inflater->stream;
    while (size > 0) {
        if (m_ended) {
            // Bytes after a deflate stream are not part of it; a gzip body
            // may hold several members, which decode one after the other.
            if (m_coding != Coding::kGzip) {
                return;
            }
            inflateReset(&stream);
            m_ended = false;
        }
        const auto piece = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = piece;
        do {
            stream.next_out = m_buffer.get();
            stream.avail_out = kOutputBufferSize;
            const int status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                ThrowProtocolException(ERR_HTTP_CONTENT_CORRUPT);
            }
            Emit(kOutputBufferSize - stream.avail_out);
            m_ended = status == Z_STREAM_END;
        } while (!m_ended && (stream.avail_in > 0 || stream.avail_out == 0));
        const std::size_t consumed = piece - stream.avail_in;
        data += consumed;
        size -= consumed;
    }
}

void CContentDecoder::Emit(std::size_t count) {
    if (count > m_limit - m_decoded) {
        ThrowProtocolException(ERR_HTTP_BODY_TOO_LARGE);
    }
    m_decoded += count;
    m_output.Write(m_buffer.get(), count);
}

void CContentDecoder::Finish() {
    if (m_anyInput && !m_ended) {
        ThrowProtocolException(ERR_HTTP_CONTENT_CORRUPT);
    }
}
