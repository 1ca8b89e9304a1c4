#include "protocol/content_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <string>

#include "base/errors.h"
#include "support/compressed_bodies.h"
#include "support/memory_stream.h"
#include "support/thrown_code.h"

namespace {

using Coding = CContentDecoder::Coding;
using testing_support::kGzipPage;
using testing_support::kPlainPage;
using testing_support::kRawDeflatePage;
using testing_support::kZlibPage;
using testing_support::MemoryStream;

TEST(ContentDecoderTest, ReadsTheCodingsAHeaderNames) {
    const struct {
        const char* value;
        std::optional<Coding> coding;
    } cases[] = {
        {"", Coding::kIdentity},
        {"identity", Coding::kIdentity},
        {"gzip", Coding::kGzip},
        {" GZip ", Coding::kGzip},
        {"x-gzip", Coding::kGzip},
        {"deflate", Coding::kDeflate},
        {"identity, gzip", Coding::kGzip},
        {"gzip,\tidentity", Coding::kGzip},
        {"br", std::nullopt},
        {"zstd", std::nullopt},
        {"compress", std::nullopt},
        {"gzip2", std::nullopt},
        {"deflate, gzip", std::nullopt},
        {"gzip, gzip", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CContentDecoder::ParseCoding(c.value), c.coding) << c.value;
    }
}

// Each body whole, and a byte at a time: a wrapper's bytes split across
// reads must decode the same.
TEST(ContentDecoderTest, DecodesEveryWrapperInPiecesOfAnySize) {
    const struct {
        Coding coding;
        const std::string& body;
    } cases[] = {{Coding::kGzip, kGzipPage},
                 {Coding::kGzip, kZlibPage},
                 {Coding::kDeflate, kZlibPage},
                 {Coding::kDeflate, kRawDeflatePage}};
    for (const auto& c : cases) {
        for (std::size_t piece : {c.body.size(), std::size_t{1}}) {
            SCOPED_TRACE(testing::Message() << c.body.size() << " in pieces of " << piece);
            MemoryStream out;
            CContentDecoder decoder(c.coding, out, 1 << 20);
            for (std::size_t at = 0; at < c.body.size(); at += piece) {
                decoder.Write(c.body.data() + at, std::min(piece, c.body.size() - at));
            }
            decoder.Finish();
            EXPECT_EQ(out.Bytes(), kPlainPage);
            EXPECT_EQ(decoder.GetDecodedSize(), kPlainPage.size());
        }
    }
}

TEST(ContentDecoderTest, GzipMembersFollowEachOther) {
    MemoryStream out;
    CContentDecoder decoder(Coding::kGzip, out, 1 << 20);
    const std::string twice = kGzipPage + kGzipPage;
    decoder.Write(twice.data(), twice.size());
    decoder.Finish();
    EXPECT_EQ(out.Bytes(), kPlainPage + kPlainPage);
}

ResultCode DecodeAll(Coding coding, const std::string& body, std::uint64_t limit = 1 << 20) {
    return testing_support::CodeOf<CProtocolException>([&] {
        MemoryStream out;
        CContentDecoder decoder(coding, out, limit);
        decoder.Write(body.data(), body.size());
        decoder.Finish();
    });
}

TEST(ContentDecoderTest, BodiesThatDoNotDecodeFail) {
    std::string flipped = kGzipPage;
    flipped[20] = static_cast<char>(flipped[20] ^ 0x55);
    std::string badCheck = kGzipPage;
    badCheck[kGzipPage.size() - 6] = static_cast<char>(badCheck[kGzipPage.size() - 6] ^ 1);
    EXPECT_EQ(DecodeAll(Coding::kGzip, "<html>plain text</html>"), ERR_HTTP_CONTENT_CORRUPT);
    EXPECT_EQ(DecodeAll(Coding::kGzip, flipped), ERR_HTTP_CONTENT_CORRUPT);
    EXPECT_EQ(DecodeAll(Coding::kGzip, badCheck), ERR_HTTP_CONTENT_CORRUPT);
    EXPECT_EQ(DecodeAll(Coding::kGzip, kGzipPage.substr(0, 40)), ERR_HTTP_CONTENT_CORRUPT);
    EXPECT_EQ(DecodeAll(Coding::kDeflate, kZlibPage.substr(0, 1)), ERR_HTTP_CONTENT_CORRUPT);
    EXPECT_EQ(DecodeAll(Coding::kDeflate, std::string(300, '\xff')), ERR_HTTP_CONTENT_CORRUPT);
    // No bytes at all are an empty document, not a cut stream.
    EXPECT_EQ(DecodeAll(Coding::kGzip, ""), ERR_SUCCESS);
}

// 16 MiB of zeros gzip to about 16 KiB: the decoder stops at its limit
// instead of writing (or holding) all of it.
TEST(ContentDecoderTest, ABodyThatExpandsPastTheLimitFails) {
    const std::string zeros(16 << 20, '\0');
    z_stream stream{};
    ASSERT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, MAX_WBITS + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string bomb(deflateBound(&stream, zeros.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    stream.avail_in = static_cast<uInt>(zeros.size());
    stream.next_out = reinterpret_cast<Bytef*>(bomb.data());
    stream.avail_out = static_cast<uInt>(bomb.size());
    ASSERT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    bomb.resize(stream.total_out);
    deflateEnd(&stream);

    EXPECT_EQ(DecodeAll(Coding::kGzip, bomb, 1 << 20), ERR_HTTP_BODY_TOO_LARGE);
    EXPECT_EQ(DecodeAll(Coding::kGzip, bomb, zeros.size()), ERR_SUCCESS);
}

}  // namespace
