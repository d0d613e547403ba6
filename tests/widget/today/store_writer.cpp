// Publishes numbered summaries into the shared store, one after another, as
// the application would: `store_writer COUNT`. Summary n has count n and n
// items titled "n:0" … so a reader can tell a whole document from a torn one.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: store_writer COUNT\n");
    return 2;
  }
  int count = std::atoi(argv[1]);
  for (int n = 1; n <= count; ++n) {
    std::string json = "{\"count\":" + std::to_string(n) + ",\"items\":[";
    for (int i = 0; i < n % 40; ++i) {
      json += (i ? ",{\"title\":\"" : "{\"title\":\"") + std::to_string(n) + ":" +
              std::to_string(i) + "\"}";
    }
    json += "]}";
    auto store = brisklane::UserDefaults::open(brisklane::appGroupIdentifier);
    if (!store || !store->set(json, brisklane::todayKey)) {
      std::fprintf(stderr, "store_writer: write %d failed\n", n);
      return 1;
    }
  }
  return 0;
}
