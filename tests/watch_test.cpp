// The map watch with a fake clock: looks twice a second, and a change is due to load only
// once it has stood for half a second.
#include "app/watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Watch, LoadsOnceAChangeHasSettled) {
  const FileStamp a{true, 100, 10, 1}, b{true, 200, 10, 1}, c{true, 300, 20, 1},
      replaced{true, 200, 10, 2}, gone{};
  struct Look {
    DWORD at;
    FileStamp stamp;
    bool due;
  };
  struct Case {
    const char* what;
    std::vector<Look> looks;
  } cases[] = {
      {"unchanged", {{500, a, false}, {1000, a, false}, {1500, a, false}}},
      {"changed, then stood", {{500, b, false}, {1000, b, true}}},
      {"still being written", {{500, b, false}, {1000, c, false}, {1500, c, true}}},
      {"seen late", {{500, a, false}, {1000, b, false}, {1400, b, false}, {1500, b, true}}},
      {"replaced by another file", {{500, replaced, false}, {1000, replaced, true}}},
      {"gone", {{500, gone, false}, {1000, gone, true}}},
      {"back as it was", {{500, b, false}, {900, a, false}, {1500, a, false}}},
  };
  for (const Case& c : cases) {
    Watch w;
    watchFile(w, "m.map", a, 0);
    for (const Look& l : c.looks)
      EXPECT_EQ(watchLooked(w, l.stamp, l.at), l.due) << c.what << " at " << l.at;
  }
}

TEST(Watch, LooksTwiceASecondAndTriesAChangeOnce) {
  Watch w;
  EXPECT_FALSE(watchDue(w, 5000)); // nothing watched
  watchFile(w, "m.map", FileStamp{true, 1, 1, 1}, 1000);
  EXPECT_FALSE(watchDue(w, 1499));
  EXPECT_TRUE(watchDue(w, 1500));
  FileStamp bad{true, 2, 1, 1};
  EXPECT_FALSE(watchLooked(w, bad, 1500));
  EXPECT_FALSE(watchDue(w, 1900));
  EXPECT_TRUE(watchLooked(w, bad, 2000));
  watchFile(w, "m.map", bad, 2000); // the load failed: the same change is not tried again
  EXPECT_FALSE(watchLooked(w, bad, 2500));
  EXPECT_FALSE(watchLooked(w, bad, 3000));
  watchFile(w, "m.map", bad, DWORD(-200)); // the tick count wraps after 49.7 days
  EXPECT_FALSE(watchDue(w, 100));
  EXPECT_TRUE(watchDue(w, 300));
}

} // namespace
