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
  EXPECT_EQ(Entry(h, 255) <=> Entry(h, 0), std::strong_ordering::greater);
  EXPECT_TRUE(Entry::isEq(&a, &a));
}

TEST(EntryCodec, RoundTripsWithAndWithoutHandle) {
  auto h = neededHandle();
  for (const Entry& original : {Entry(), Entry(h, 255, 0xFFFFFFFF), Entry(nullptr, 9, 17)}) {
    auto text = original.toStrep();
    auto decoded = Kiv::strepToValue<Entry>(text);
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

  const std::string entry = "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=";
  const std::string pre = entry + "@" + std::to_string(id);
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
      {pre + ", localPortNextHop=1, dvpNetworkGroup=1)), ", "end of text", false},
      {entry + "@999999999, localPortNextHop=1, dvpNetworkGroup=1)", "no live node", false},
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
  }
  EXPECT_EQ(Kiv::strepToValue<Entry>(good), Entry(h, 1));
}

TEST(EntryCodec, ANodeThatIsNotAnEntryHandleCannotConvert) {
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};  // a node of another type
  auto text = "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@" +
              std::to_string(Quill::NodeDirectory::idOf(*table)) + ", localPortNextHop=1, dvpNetworkGroup=1)";
  EXPECT_THROW(
      try { (void)Kiv::strepToValue<Entry>(text); } catch (const Kiv::CodecError& e) {
        EXPECT_NE(std::string(e.what()).find("Asic::SwTableBase::EntryHandle"), std::string::npos);
        throw;
      },
      Kiv::CodecError);
  EXPECT_EQ(table->useCount(), 1u);
}

TEST(EntryCodec, AReferenceToADestroyedNodeNoLongerResolves) {
  auto h = neededHandle();
  const std::string text = Entry(h, 1).toStrep();
  EXPECT_NO_THROW((void)Kiv::strepToValue<Entry>(text));
  h = nullptr;
  EXPECT_THROW((void)Kiv::strepToValue<Entry>(text), Kiv::CodecError);
}

}  // namespace
}  // namespace VelarTest
