// Checks the control's string tables; a non-zero exit fails the build.
// usage: strcheck <top resource script>
#include <cstdio>

#include "strcheck.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <strings.rc>\n", argv[0]);
    return 2;
  }
  auto errors = strcheck::checkStringTables(argv[1]);
  for (const auto& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
  if (!errors.empty()) {
    std::fprintf(stderr, "%zu problem(s) in the string tables\n", errors.size());
    return 1;
  }
  return 0;
}
