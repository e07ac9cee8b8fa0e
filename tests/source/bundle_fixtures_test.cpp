// Inputs the fuzzer found troublesome, kept so that they stay harmless: each
// must load or be refused cleanly, and a loaded one must survive every
// operation on every member.
#include <filesystem>
#include <string>

#include "bundle_test_util.h"
#include "tar_builder.h"

namespace {

namespace fs = std::filesystem;

TEST_F(BundleTest, KeptFuzzInputsStayHarmless) {
  fs::path dir = fs::path(tests_dir()) / "fixtures" / "bundles";
  size_t seen = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().rfind("fuzz-", 0) != 0) continue;
    seen++;
    std::string bytes = read_file(e.path().string());
    // As in the fuzzer: a leading 'Z' asks for the rest to be compressed.
    if (!bytes.empty() && bytes[0] == 'Z') bytes = gzip_bytes(bytes.substr(1));
    Source* s = load(bytes, uint64_t{8} << 20);
    if (!s) {
      EXPECT_FALSE(err_text.empty()) << e.path();
      continue;
    }
    auto* idx = static_cast<BundleIndex*>(s->ctx);
    for (const BundleMember& m : idx->members) {
      StrView data;
      s->ops.read_raw(s, m.name, &data);
      EXPECT_TRUE(s->ops.exists(s, m.name));
      StrList l{};
      s->ops.list(s, m.name, &l);
    }
    for (const char* p : {"/*", "/*/*", "/proc/*/task/*/stat", "/[", "/.*"}) glob(s, p);
  }
  EXPECT_GT(seen, 0u);
}

}  // namespace
