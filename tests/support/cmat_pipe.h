// cmat_pipe.h: what the tests of the binary readers of the C matrix library need to show
// that a reader's memory follows the data that arrive and not the counts a header claims:
// the pipe and the heap ceiling of pipe_feed.h, and the claim test that the readers of the
// sparse vector forms share.
#ifndef KVELO_TESTS_CMAT_PIPE_H
#define KVELO_TESTS_CMAT_PIPE_H

#include <gtest/gtest.h>

#include <climits>

#include "cmat_support.h"
#include "pipe_feed.h"

namespace cmat_test {

// The pipe and the heap ceiling are the ones every reader test uses.
using kvtest::HeapCeiling;
using kvtest::PipeFeed;

// The claim test of a sparse binary reader. form(dim, claimed, arriving) is the reader's form
// of a vector of dimension dim whose header claims `claimed` entries, followed by `arriving`
// entries at indices 2k holding k + 0.5; read(stream, reuse, &status) reads it; release frees a
// record. Under a 1 MiB ceiling on single heap blocks and through a pipe, a claim of 2^31 - 1
// entries with 3 or 20000 behind it must end as a short read (null, status -1, no code: memory
// sized from the claim would be refused as code 3), and the record made by reuse() is handed in:
// untouched(record), called before the read, notes what it holds and returns the check, run
// after the read, that it still holds it. Under the same ceiling a form of dimension 40000 with
// 20000 entries must come through whole (status 0, dimension 40000), which whole(record) checks
// entry by entry.
template <class Form, class Read, class Release, class Reuse, class Untouched, class Whole>
void ExpectMemoryFollowsArrivals(Form form, Read read, Release release, Reuse reuse, Untouched untouched,
                                 Whole whole) {
  HeapCeiling ceiling(1u << 20);
  for (int arriving : {3, 20000}) {
    SCOPED_TRACE(arriving);
    PipeFeed feed(form(INT_MAX, INT_MAX, arriving));
    ASSERT_NE(feed.get(), nullptr);
    auto* record = reuse();
    const auto stillAsItWas = untouched(record);
    int st = 0;
    ErrWatch w;
    EXPECT_EQ(read(feed.get(), record, &st), nullptr);
    EXPECT_EQ(st, -1);
    EXPECT_EQ(w.count(), 0) << "code " << w.last();
    stillAsItWas();
    release(record);
  }
  PipeFeed feed(form(40000, 20000, 20000));
  ASSERT_NE(feed.get(), nullptr);
  int st = 0;
  auto* r = read(feed.get(), nullptr, &st);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(r->dim, 40000);
  whole(r);
  release(r);
}

}  // namespace cmat_test

#endif
