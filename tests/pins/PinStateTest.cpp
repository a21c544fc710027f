#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "framework/Exceptions.h"
#include "pins/Unit2.h"

namespace {

struct Recorder {
    std::vector<std::pair<TPntLPT*, int>> events;
    std::vector<bool> seen;  // state of the index as the listener saw it
    void Attach(TPntLPT& set) {
        set.SetOnChange([this](TPntLPT* sender, std::int32_t index) {
            events.emplace_back(sender, index);
            seen.push_back(sender->GetPin(index));
        });
    }
};

}  // namespace

TEST(PinState, FiresOnlyOnRealChangesInOrderAfterStoring) {
    TPntLPT set(8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(set.GetPin(i));
    }
    Recorder rec;
    rec.Attach(set);
    for (int i = 0; i < 8; ++i) {
        set.SetPin(i, (0x05 >> i) & 1);
    }
    ASSERT_EQ(rec.events.size(), 2u);
    EXPECT_EQ(rec.events[0], std::make_pair(&set, 0));
    EXPECT_EQ(rec.events[1], std::make_pair(&set, 2));
    EXPECT_EQ(rec.seen, (std::vector<bool>{true, true}));

    set.SetPin(3, false);  // already clear
    set.SetPin(2, true);   // already set
    EXPECT_EQ(rec.events.size(), 2u);
    set.SetPin(2, false);
    EXPECT_EQ(rec.events.back(), std::make_pair(&set, 2));
    EXPECT_EQ(rec.seen.back(), false);
}

TEST(PinState, StoresWithoutListener) {
    TPntLPT set(8);
    set.SetPin(7, true);
    EXPECT_TRUE(set.GetPin(7));
}

TEST(PinState, OutOfRangeIndexIsRefusedWithoutStoringOrFiring) {
    TPntLPT set(8);
    Recorder rec;
    rec.Attach(set);
    for (int bad : {8, -1, 1000}) {
        try {
            set.SetPin(bad, true);
            ADD_FAILURE() << bad;
        } catch (const EBitsError& e) {
            EXPECT_STREQ(e.what(), "Bits index out of range");
        }
        EXPECT_THROW(set.GetPin(bad), EBitsError);
    }
    EXPECT_TRUE(rec.events.empty());
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(set.GetPin(i));
    }
}
