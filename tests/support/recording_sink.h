// An event sink that keeps every event it receives, for tests that check
// what a socket or client reported.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_sink.h"

namespace testing_support {

class RecordingSink : public CEventSink {
public:
    struct Event {
        std::intptr_t source;
        std::uint32_t code;
        ArgumentKind kind;
        std::uint32_t length;
        std::string text;
    };

    const std::vector<Event>& Events() const { return m_events; }

    int Count(std::uint32_t code) const {
        int count = 0;
        for (const Event& event : m_events) {
            count += event.code == code ? 1 : 0;
        }
        return count;
    }

    // The length argument of every event with this code, in order.
    std::vector<std::uint32_t> Lengths(std::uint32_t code) const {
        std::vector<std::uint32_t> lengths;
        for (const Event& event : m_events) {
            if (event.code == code) {
                lengths.push_back(event.length);
            }
        }
        return lengths;
    }

    std::uint64_t Total(std::uint32_t code) const {
        std::uint64_t total = 0;
        for (std::uint32_t length : Lengths(code)) {
            total += length;
        }
        return total;
    }

protected:
    void OnGeneralEvent(std::intptr_t source, std::uint32_t code) override { Record(source, code); }
    void OnSocketEvent(std::intptr_t source, std::uint32_t code) override { Record(source, code); }
    void OnProtocolEvent(std::uint32_t code) override { Record(0, code); }

private:
    void Record(std::intptr_t source, std::uint32_t code) {
        m_events.push_back({source, code, GetArgumentKind(), GetLength(), GetText()});
    }

    std::vector<Event> m_events;
};

}  // namespace testing_support
