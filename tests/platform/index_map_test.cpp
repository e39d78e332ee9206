#include "platform/Kiv/IndexMap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Map = Kiv::IndexMap<std::uint32_t, std::string>;

// Keys from a few pages: a page that fills up and empties again, the edges
// of pages, and the largest index.
std::vector<std::uint32_t> keyPool() {
  std::vector<std::uint32_t> keys;
  for (std::uint32_t k = 0; k < 40; ++k) keys.push_back(k);
  for (std::uint32_t k : {95U, 96U, 1000U, 0xFFFFFFE0U, 0xFFFFFFFEU, 0xFFFFFFFFU}) keys.push_back(k);
  return keys;
}

// Long enough to live on the heap, so a value that is lost, copied from a
// moved-from member or freed twice shows under the sanitizers.
std::string valueFor(std::uint32_t key, int version) {
  return "value of " + std::to_string(key) + " version " + std::to_string(version) +
         " padded past small strings";
}

// Random insertions, extractions, erasures and walks that delete as they go,
// checked against std::map after every step. Phases that mostly insert and
// phases that mostly remove alternate, so pages fill past their packed size
// and empty again.
TEST(IndexMap, BehavesAsAMapOfItsKeys) {
  const std::vector<std::uint32_t> pool = keyPool();
  std::mt19937 random(5);
  Map map;
  std::map<std::uint32_t, std::string> model;
  for (int step = 0; step < 20'000; ++step) {
    const std::uint32_t key = pool[random() % pool.size()];
    const bool filling = (step / 1000) % 2 == 0;
    const unsigned roll = random() % 10;
    switch (roll < (filling ? 6U : 1U) ? 0 : 1 + roll % 3) {
      case 0: {
        const std::string value = valueFor(key, step);
        auto [stored, inserted] = map.tryEmplace(key, value);
        auto [modelled, modelInserted] = model.try_emplace(key, value);
        ASSERT_EQ(inserted, modelInserted) << key;
        ASSERT_EQ(*stored, modelled->second) << key;
        break;
      }
      case 1: {
        std::string out = "untouched";
        const bool found = map.extract(key, out);
        ASSERT_EQ(found, model.contains(key)) << key;
        ASSERT_EQ(out, found ? model[key] : "untouched") << key;
        model.erase(key);
        break;
      }
      case 2: ASSERT_EQ(map.erase(key), model.erase(key) != 0) << key; break;
      default: {
        // A walk that deletes every member it visits whose key is odd.
        std::map<std::uint32_t, std::string> visited;
        for (auto it = map.begin(); it != map.end(); ++it) {
          const auto [k, v] = *it;
          ASSERT_TRUE(visited.emplace(k, v).second) << "visited twice: " << k;
          if (k % 2 == 1) map.erase(k);
        }
        ASSERT_EQ(visited, model);
        std::erase_if(model, [](const auto& member) { return member.first % 2 == 1; });
      }
    }
    ASSERT_EQ(map.count(), model.size());
    const std::string* found = map.find(key);
    ASSERT_EQ(found != nullptr, model.contains(key)) << key;
    if (found != nullptr) {
      ASSERT_EQ(*found, model[key]);
      ASSERT_EQ(map.iteratorAt(key).key(), key);
    } else {
      ASSERT_TRUE(map.iteratorAt(key) == map.end());
    }
  }
}

// The values' release looks at the map they were in, as a handle's last
// release calls back into its table.
TEST(IndexMap, ARemovedValueIsReleasedAfterTheMapNoLongerHoldsIt) {
  Kiv::IndexMap<std::uint32_t, std::shared_ptr<std::uint32_t>> map;
  std::vector<std::string> seen;
  auto watched = [&](std::uint32_t key) {
    return std::shared_ptr<std::uint32_t>(new std::uint32_t(key), [&](const std::uint32_t* k) {
      seen.push_back(std::to_string(*k) + (map.has(*k) ? " still in, " : " gone, ") +
                     std::to_string(map.count()) + " left");
      delete k;
    });
  };
  for (std::uint32_t k : {1U, 2U, 3U, 40U, 41U, 42U, 43U, 44U, 45U}) map.tryEmplace(k, watched(k));
  map.erase(1);   // packed page
  map.erase(42);  // direct page
  map.clear();
  ASSERT_EQ(seen.size(), 9U);
  EXPECT_EQ(seen[0], "1 gone, 8 left");
  EXPECT_EQ(seen[1], "42 gone, 7 left");
  for (std::size_t i = 2; i < seen.size(); ++i) EXPECT_THAT(seen[i], testing::EndsWith("gone, 0 left"));
}

}  // namespace
