#include "platform/event_sink.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CRecordingSink : public CEventSink {
public:
    std::string handler;
    std::intptr_t handlerSource = 0;

protected:
    void OnGeneralEvent(std::intptr_t source, std::uint32_t) override {
        handler = "general";
        handlerSource = source;
    }
    void OnSocketEvent(std::intptr_t source, std::uint32_t) override {
        handler = "socket";
        handlerSource = source;
    }
    void OnProtocolEvent(std::uint32_t) override {
        handler = "protocol";
        handlerSource = 0;
    }
};

TEST(EventSinkTest, TheCodeChoosesCategoryAndHandler) {
    const struct {
        std::uint32_t code;
        CEventSink::Category category;
        const char* handler;
    } cases[] = {
        {0, CEventSink::categoryGeneral, "general"},
        {255, CEventSink::categoryGeneral, "general"},
        {256, CEventSink::categorySocket, "socket"},
        {511, CEventSink::categorySocket, "socket"},
        {512, CEventSink::categoryProtocol, "protocol"},
        {768, CEventSink::categoryProtocol, "protocol"},
        {0xFFFFFFFF, CEventSink::categoryProtocol, "protocol"},
    };
    for (const auto& c : cases) {
        CRecordingSink sink;
        sink.Notify(-1, c.code);
        EXPECT_EQ(sink.GetCategory(), c.category) << c.code;
        EXPECT_EQ(sink.handler, c.handler) << c.code;
        EXPECT_EQ(sink.GetCode(), c.code);
        EXPECT_EQ(sink.GetSource(), -1) << "kept for every category";
        EXPECT_EQ(sink.handlerSource, c.category == CEventSink::categoryProtocol ? 0 : -1);
    }
}

TEST(EventSinkTest, EachFormRecordsOnlyItsOwnArgument) {
    CRecordingSink sink;
    sink.Notify(5, 258, "10.0.0.1");
    EXPECT_EQ(sink.GetArgumentKind(), CEventSink::argumentText);
    EXPECT_EQ(sink.GetText(), "10.0.0.1");

    sink.Notify(5, 260, 0);
    EXPECT_EQ(sink.GetArgumentKind(), CEventSink::argumentLength);
    EXPECT_EQ(sink.GetLength(), 0u);
    EXPECT_EQ(sink.GetText(), "") << "no text left over from the previous event";

    sink.Notify(5, 259, 8192);
    EXPECT_EQ(sink.GetLength(), 8192u);
    sink.Notify(-1, 261);
    EXPECT_EQ(sink.GetArgumentKind(), CEventSink::argumentNone);
    EXPECT_EQ(sink.GetLength(), 0u);
    EXPECT_EQ(sink.GetSource(), -1);
}

}  // namespace
