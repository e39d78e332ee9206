// The runtime's keyed collection and optional value.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/Kiv/HashMap2018.h"
#include "platform/Kiv/Optional.h"

namespace {

TEST(KivHashMap, LookupInsertDeleteAndCount) {
  Kiv::HashMap2018<std::uint32_t, std::string> m;
  auto [v, inserted] = m.tryEmplace(1, "one");
  EXPECT_TRUE(inserted);
  EXPECT_EQ(*v, "one");
  EXPECT_FALSE(m.tryEmplace(1, "uno").second);
  EXPECT_EQ(*m.find(1), "one");
  EXPECT_EQ(m.find(2), nullptr);
  std::string out;
  EXPECT_TRUE(m.extract(1, out));
  EXPECT_EQ(out, "one");
  EXPECT_FALSE(m.extract(1, out));
  EXPECT_EQ(m.count(), 0u);
}

TEST(KivHashMap, IterationSurvivesDeletingTheCurrentMember) {
  Kiv::HashMap2018<std::uint32_t, int> m;
  for (std::uint32_t k = 0; k < 1000; ++k) m.tryEmplace(k, static_cast<int>(k));
  std::set<std::uint32_t> visited;
  for (auto it = m.begin(); it != m.end(); ++it) {
    visited.insert(it.key());
    if (it.key() % 3 != 0) m.erase(it.key());
  }
  EXPECT_EQ(visited.size(), 1000u);
  EXPECT_EQ(m.count(), 334u);
  EXPECT_EQ(m.iteratorAt(999).key(), 999u);
  EXPECT_TRUE(m.iteratorAt(1) == m.end());
}

using IntMap = Kiv::HashMap2018<std::uint32_t, int>;

TEST(KivHashMapDeathTest, GrowingTheMapUnderAnIteratorStops) {
  EXPECT_DEATH(
      {
        IntMap m;
        m.tryEmplace(0, 0);
        auto it = m.begin();
        for (std::uint32_t k = 1; k < 1000; ++k) m.tryEmplace(k, 0);
        ++it;
      },
      "bucket_count\\(\\) == buckets_");
}

// Records the presence flag it sees from its own destructor.
struct Witness {
  const Kiv::Optional<Witness>* owner = nullptr;
  bool* sawPresent = nullptr;
  Witness(const Kiv::Optional<Witness>* o, bool* s) : owner(o), sawPresent(s) {}
  ~Witness() {
    if (sawPresent != nullptr && owner != nullptr) *sawPresent = owner->present();
  }
};

TEST(KivOptional, ClearsThePresenceFlagBeforeDestroyingTheValue) {
  bool sawPresent = true;
  Kiv::Optional<Witness> o;
  o.valueIs(Witness(&o, nullptr));
  o.value().sawPresent = &sawPresent;
  o.reset();
  EXPECT_FALSE(sawPresent);
  EXPECT_FALSE(o.present());
}

TEST(KivOptional, EqualityNeedsTheSamePresenceAndValue) {
  Kiv::Optional<int> absent;
  Kiv::Optional<int> one(1);
  EXPECT_EQ(absent, Kiv::Optional<int>());
  EXPECT_EQ(one, Kiv::Optional<int>(1));
  EXPECT_FALSE(one == absent);
  EXPECT_FALSE(one == Kiv::Optional<int>(2));
  Kiv::Optional<int> copy = one;
  copy = absent;
  EXPECT_FALSE(copy.present());
}

}  // namespace
