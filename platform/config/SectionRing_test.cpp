#include "platform/config/SectionRing.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

using Configuration::PackedSection;

namespace {

PackedSection Tagged(int tag) {
    PackedSection s;
    s.AppendLine(std::to_string(tag) + "\n");
    return s;
}

int TagOf(const PackedSection& s) {
    return s.Text().empty() ? -1 : std::stoi(std::string(s.Text()));
}

}  // namespace

TEST(SectionRing, BehavesLikeADequeThroughGrowthAndWrapAround) {
    SectionRing ring;
    std::deque<int> model;
    std::mt19937 rng(11);
    for (int step = 0; step < 5000; ++step) {
        switch (rng() % 6) {
            case 0:
            case 1:
                ring.push_front(Tagged(step));
                model.push_front(step);
                break;
            case 2:
                ring.push_back(Tagged(step));
                model.push_back(step);
                break;
            case 3:
                if (!model.empty()) {
                    ASSERT_EQ(model.back(), TagOf(ring.pop_back()));
                    model.pop_back();
                }
                break;
            case 4:
                if (!model.empty()) {
                    ASSERT_EQ(model.front(), TagOf(ring.pop_front()));
                    model.pop_front();
                }
                break;
            case 5:
                if (!model.empty()) {
                    size_t at = rng() % model.size();
                    ASSERT_EQ(model[at], TagOf(ring.erase(at)));
                    model.erase(model.begin() + static_cast<long>(at));
                }
                break;
        }
        ASSERT_EQ(model.size(), ring.size());
        if (step % 97 == 0) {
            for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(model[i], TagOf(ring[i])) << step;
        }
    }
    ring.clear();
    EXPECT_TRUE(ring.empty());
}
