// The product's shredder on one host file, for timing against dd and shred.
//
//   bench_shred FILE
//
// A temporary prefix maps drive C: to the file's folder, and ShredEntry overwrites the
// file five times (each pass flushed to the device) and removes it.
#include <cstdio>
#include <string>

#include "bench_prefix.h"
#include "delete/tw_random.h"
#include "delete/tw_thread_delete.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_shred FILE\n");
    return 2;
  }
  std::string file = argv[1];
  size_t slash = file.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  try {
    TBenchPrefix prefix(dir);
    Randomize();
    int32_t rc = TTWThreadDelete::ShredEntry("C:\\" + name, false, TTWFileId{});
    if (rc != 0) {
      std::fprintf(stderr, "bench_shred: ShredEntry returned %d\n", rc);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_shred: %s\n", e.what());
    return 1;
  }
  return 0;
}
