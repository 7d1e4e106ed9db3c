#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "CPort/platform/PosixByteQueue.h"
#include "CPort/platform/PosixReceiveFilter.h"

using namespace ComPlatform::Posix;
using Bytes = std::vector<std::uint8_t>;

namespace {

// In place, as the device filters what it has read into its queue.
Bytes Filtered(TReceiveFilter& filter, const Bytes& in, bool* sawEvent = nullptr) {
  Bytes out = in;
  bool saw = false;
  out.resize(filter.Filter(out.data(), out.size(), out.data(), saw));
  if (sawEvent) *sawEvent = saw;
  return out;
}

}  // namespace

TEST(PosixReceiveFilter, PassesEveryByteUnchangedByDefault) {
  TReceiveFilter filter;
  filter.Configure({});
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(Filtered(filter, all), all);
}

TEST(PosixReceiveFilter, MarkedErrorsArePassedOnOrReplacedEvenAcrossReads) {
  TReceiveFilter filter;
  filter.Configure({.markErrors = true});
  // An errored 'A', a real 0xFF, then a plain byte.
  EXPECT_EQ(Filtered(filter, {0xFF, 0x00, 'A', 0xFF, 0xFF, 'b'}), (Bytes{'A', 0xFF, 'b'}));
  filter.Configure({.markErrors = true, .replaceErrors = true, .errorChar = '?'});
  EXPECT_EQ(Filtered(filter, {'x', 0xFF}), (Bytes{'x'}));
  EXPECT_EQ(Filtered(filter, {0x00}), Bytes{});
  EXPECT_EQ(Filtered(filter, {'A', 'y'}), (Bytes{'?', 'y'}));
  EXPECT_EQ(Filtered(filter, {0xFF}), Bytes{});
  EXPECT_EQ(Filtered(filter, {0xFF, 'z'}), (Bytes{0xFF, 'z'}));
}

TEST(PosixReceiveFilter, DropsNulsOnRequestAndSpotsTheEventCharacter) {
  TReceiveFilter filter;
  filter.Configure({.discardNull = true, .eventChar = '\r'});
  bool saw = true;
  EXPECT_EQ(Filtered(filter, {0, 'a', 0, 'b'}, &saw), (Bytes{'a', 'b'}));
  EXPECT_FALSE(saw);
  EXPECT_EQ(Filtered(filter, {'c', '\r'}, &saw), (Bytes{'c', '\r'}));
  EXPECT_TRUE(saw);
}

TEST(PosixByteQueue, KeepsOrderAcrossTheWrapAndAResize) {
  TByteQueue queue(8);
  Bytes in{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(queue.Push(in.data(), in.size()), 6u);
  Bytes out(4);
  EXPECT_EQ(queue.Pop(out.data(), 4), 4u);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4}));
  Bytes more{7, 8, 9, 10, 11, 12, 13};
  // Only what fits goes in.
  EXPECT_EQ(queue.Push(more.data(), more.size()), 6u);
  EXPECT_EQ(queue.Free(), 0u);
  queue.Resize(16);
  EXPECT_EQ(queue.Size(), 8u);
  out.assign(16, 0);
  EXPECT_EQ(queue.Pop(out.data(), 16), 8u);
  out.resize(8);
  EXPECT_EQ(out, (Bytes{5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(PosixByteQueue, ShrinkingNeverDropsQueuedBytes) {
  TByteQueue queue(8);
  Bytes in{1, 2, 3, 4, 5};
  queue.Push(in.data(), in.size());
  queue.Resize(2);
  EXPECT_EQ(queue.Size(), 5u);
  EXPECT_EQ(queue.Capacity(), 5u);
}
