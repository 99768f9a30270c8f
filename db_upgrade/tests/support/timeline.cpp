#include "timeline.h"

namespace tessary::testing {

void Timeline::add(Event event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
}

std::vector<Event> Timeline::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<std::string> Timeline::texts(Event::Kind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& event : events_) {
        if (event.kind == kind) texts.push_back(event.text);
    }
    return texts;
}

void Timeline::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}

}  // namespace tessary::testing
