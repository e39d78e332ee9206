// The Entry value: identity-based equality, ordering, hashing and its text form.
#include <gtest/gtest.h>

#include "tests/support/Support.h"
#include "platform/Quill/NodeDirectory.h"

namespace VelarTest {
namespace {

TEST(Entry, EqualityIgnoresTheDerivedNextHopIndex) {
  auto h = neededHandle();
  Entry a(h, 7, 100);
  Entry b(h, 7, 200);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a <=> b, std::strong_ordering::equal);
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_NE(a, Entry(h, 8, 100));
}

TEST(Entry, DistinctHandleNodesAreUnequalEvenForTheSameNeededKey) {
  auto h1 = neededHandle();
  auto h2 = neededHandle();
  Entry a(h1, 3);
  Entry b(h2, 3);
  EXPECT_NE(a, b);
  EXPECT_NE(a <=> b, std::strong_ordering::equal);
  EXPECT_EQ((a <=> b) == std::strong_ordering::less, (b <=> a) == std::strong_ordering::greater);
}

TEST(Entry, OrderPutsNullHandleFirstThenGroupUnsigned) {
  auto h = neededHandle();
  EXPECT_EQ(Entry(nullptr, 255) <=> Entry(h, 0), std::strong_ordering::less);
  EXPECT_EQ(Entry(h, 0) <=> Entry(h, 255), std::strong_ordering::less);
  EXPECT_EQ(Entry(h, 255) <=> Entry(h, 0), std::strong_ordering::greater);
  Entry self(h, 1);
  EXPECT_TRUE(Entry::isEq(&self, &self));
}

TEST(EntryCodec, RoundTripsWithAndWithoutHandle) {
  auto h = neededHandle();
  for (const Entry& original : {Entry(), Entry(h, 255, 0xFFFFFFFF), Entry(nullptr, 9, 17)}) {
    auto text = original.toStrep();
    Entry decoded = Kiv::strepToValue<Entry>(text);
    EXPECT_EQ(decoded, original) << text;
    EXPECT_EQ(decoded.localPortNextHop(), original.localPortNextHop()) << text;
    EXPECT_EQ(decoded.localPortNextHopHandle().get(), original.localPortNextHopHandle().get());
  }
  EXPECT_EQ(Entry(nullptr, 2, 5).toStrep(),
            "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=null, localPortNextHop=5, "
            "dvpNetworkGroup=2)");
}

// Every way decoding can fail; none of them leaves a use of the handle behind.
TEST(EntryCodec, DecodeErrorsAreReportedAndReleaseTheHandle) {
  auto h = neededHandle();
  auto id = Quill::NodeDirectory::idOf(*h);
  const std::string good = Entry(h, 1, 2).toStrep();
  ASSERT_EQ(h->useCount(), 1u);

  struct Case {
    std::string text;
    const char* mentions;
  };
  const std::string pre = "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@" +
                          std::to_string(id);
  const Case codecErrors[] = {
      {"VelarL3Vfi::LocalDvpTable::Other(localPortNextHopHandle=null, localPortNextHop=1, "
       "dvpNetworkGroup=1)",
       "expected 'VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle='"},
      {"VelarL3Vfi::LocalDvpTable::Entry(localPortNextHop=1, dvpNetworkGroup=1)", "expected"},
      {pre + ", dvpNetworkGroup=1, localPortNextHop=1)", "expected 'localPortNextHop'"},
      {pre + ", localPortNextHop=-1, dvpNetworkGroup=1)", "unsigned decimal number"},
      {pre + ", localPortNextHop=1, dvpNetworkGroup=1", "expected ')'"},
      {pre + ", localPortNextHop=1, dvpNetworkGroup=1) x", "end of text"},
      {pre + ", localPortNextHop=1, dvpNetworkGroup=1)), ", "end of text"},
      {"VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@999999999, localPortNextHop=1, "
       "dvpNetworkGroup=1)",
       "no live node"},
  };
  for (const auto& c : codecErrors) {
    try {
      (void)Kiv::strepToValue<Entry>(c.text);
      ADD_FAILURE() << "decoded: " << c.text;
    } catch (const Kiv::CodecError& e) {
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << e.what();
    }
    EXPECT_EQ(h->useCount(), 1u) << c.text;
  }

  const Case rangeErrors[] = {
      {pre + ", localPortNextHop=1, dvpNetworkGroup=256)", "8 bits"},
      {pre + ", localPortNextHop=4294967296, dvpNetworkGroup=1)", "32 bits"},
      {"VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@99999999999999999999999, "
       "localPortNextHop=1, dvpNetworkGroup=1)",
       "attribute localPortNextHopHandle"},
  };
  for (const auto& c : rangeErrors) {
    try {
      (void)Kiv::strepToValue<Entry>(c.text);
      ADD_FAILURE() << "decoded: " << c.text;
    } catch (const Quill::RangeException& e) {
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << e.what();
    }
    EXPECT_EQ(h->useCount(), 1u) << c.text;
  }
  EXPECT_EQ(Kiv::strepToValue<Entry>(good), Entry(h, 1));
}

TEST(EntryCodec, ANodeThatIsNotAnEntryHandleCannotConvert) {
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};  // a node of another type
  auto text = "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@" +
              std::to_string(Quill::NodeDirectory::idOf(*table)) +
              ", localPortNextHop=1, dvpNetworkGroup=1)";
  try {
    (void)Kiv::strepToValue<Entry>(text);
    FAIL() << "decoded a table as an entry handle";
  } catch (const Kiv::CodecError& e) {
    EXPECT_NE(std::string(e.what()).find("Asic::SwTableBase::EntryHandle"), std::string::npos);
  }
  EXPECT_EQ(table->useCount(), 1u);
}

TEST(EntryCodec, AReferenceToADestroyedNodeNoLongerResolves) {
  std::string text;
  {
    auto h = neededHandle();
    text = Entry(h, 1).toStrep();
    EXPECT_NO_THROW((void)Kiv::strepToValue<Entry>(text));
  }
  EXPECT_THROW((void)Kiv::strepToValue<Entry>(text), Kiv::CodecError);
}

}  // namespace
}  // namespace VelarTest
