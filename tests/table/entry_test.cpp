// The Entry value: identity-based equality, ordering, hashing and its text form.
#include <gtest/gtest.h>

#include "tests/support/Support.h"
#include "platform/Quill/NodeDirectory.h"

namespace VelarTest {
namespace {

TEST(Entry, EqualityAndOrderFollowTheHandleNodeAndGroupNotTheDerivedIndex) {
  auto h = neededHandle();
  Entry a(h, 7, 100);
  Entry b(h, 7, 200);
  Entry other(neededHandle(), 7, 100);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a <=> b, std::strong_ordering::equal);
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_NE(a, Entry(h, 8, 100));
  // Distinct handle nodes are unequal even for the same needed key.
  EXPECT_NE(a, other);
  EXPECT_NE(a <=> other, std::strong_ordering::equal);
  EXPECT_EQ((a <=> other) == std::strong_ordering::less, (other <=> a) == std::strong_ordering::greater);
  // The null handle first, then the group unsigned.
  EXPECT_EQ(Entry(nullptr, 255) <=> Entry(h, 0), std::strong_ordering::less);
  EXPECT_EQ(Entry(h, 0) <=> Entry(h, 255), std::strong_ordering::less);
}

// The text form, and every way decoding it can fail; none of them leaves a
// use of a node behind. (Round trips are the entry-text fuzzer's.)
TEST(EntryCodec, TextFormAndDecodeErrorsReleaseEveryUse) {
  auto h = neededHandle();
  auto id = Quill::NodeDirectory::idOf(*h);
  const std::string good = Entry(h, 1, 2).toStrep();
  ASSERT_EQ(h->useCount(), 1u);

  const std::string entry = "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=";
  const std::string pre = entry + "@" + std::to_string(id);
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};  // a node, but not an entry handle
  const std::string ofTable = entry + "@" + std::to_string(Quill::NodeDirectory::idOf(*table));
  const std::string ofGone = Entry(neededHandle(), 1).toStrep();  // its handle is gone at once
  const struct {
    std::string text;
    const char* mentions;
    bool range;  // a value too large for its field rather than bad text
  } cases[] = {
      {"VelarL3Vfi::LocalDvpTable::Other(localPortNextHopHandle=null, localPortNextHop=1, dvpNetworkGroup=1)",
       "expected 'VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle='", false},
      {"VelarL3Vfi::LocalDvpTable::Entry(localPortNextHop=1, dvpNetworkGroup=1)", "expected", false},
      {pre + ", dvpNetworkGroup=1, localPortNextHop=1)", "expected 'localPortNextHop'", false},
      {pre + ", localPortNextHop=-1, dvpNetworkGroup=1)", "unsigned decimal number", false},
      {pre + ", localPortNextHop=1, dvpNetworkGroup=1", "expected ')'", false},
      {pre + ", localPortNextHop=1, dvpNetworkGroup=1) x", "end of text", false},
      {entry + "@999999999, localPortNextHop=1, dvpNetworkGroup=1)", "no live node", false},
      {ofGone, "no live node", false},
      {ofTable + ", localPortNextHop=1, dvpNetworkGroup=1)", "Asic::SwTableBase::EntryHandle", false},
      {pre + ", localPortNextHop=1, dvpNetworkGroup=256)", "8 bits", true},
      {pre + ", localPortNextHop=4294967296, dvpNetworkGroup=1)", "32 bits", true},
      {entry + "@99999999999999999999999, localPortNextHop=1, dvpNetworkGroup=1)",
       "attribute localPortNextHopHandle", true},
  };
  for (const auto& c : cases) {
    std::string error = "decoded";
    try {
      (void)Kiv::strepToValue<Entry>(c.text);
    } catch (const Kiv::CodecError& e) {
      error = c.range ? "codec error" : e.what();
    } catch (const Quill::RangeException& e) {
      error = c.range ? e.what() : "range error";
    }
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(h->useCount(), 1u) << c.text;
    EXPECT_EQ(table->useCount(), 1u) << c.text;
  }
  EXPECT_EQ(Kiv::strepToValue<Entry>(good), Entry(h, 1));
  EXPECT_EQ(Entry(nullptr, 2, 5).toStrep(),
            "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=null, localPortNextHop=5, dvpNetworkGroup=2)");
}

}  // namespace
}  // namespace VelarTest
